#pragma once
// The "Correcties" row at work: a passing entered by hand (the bib typed, or a competitor
// double-clicked in the race view; the time typed, or now on the decoder's clock), and the
// take-back of the passing chosen in the grid or of the competitor chosen in the race view.
// F2 goes to the bib field from anywhere; Delete in the grid or the race view takes back what
// is chosen there.

#include <QObject>
#include <QString>
#include <optional>
#include <string>

#include "app/window_layout.h"
#include "timing/passing_result.h"
#include "timing/race_controller.h"
#include "timing/time_of_day.h"

class QWidget;

namespace tivaro::app {

class RaceView;

class CorrectionsRow final : public QObject {
    Q_OBJECT
public:
    // `ui`, `raceView` and `controller` must outlive the row; its shortcuts live on `window`.
    CorrectionsRow(const WindowControls& ui, RaceView& raceView, timing::RaceController& controller,
                   QWidget* window);

    // A passing was applied: the decoder's clock is followed, a take-back is remembered for its
    // message, and whether the chosen passing can be taken back is checked again.
    void passingHandled(const timing::PassingResult& result);
    // Whether what is chosen can be taken back (after another workbook or sport).
    void updateTakeBack();

signals:
    void report(const QString& message);

private:
    void enterHandPassing();
    void enterHandPassingFor(const QString& bib);
    void takeBackChosen();
    // The time of day for a passing entered now: the decoder's clock as the latest decoder
    // passing showed it, else this computer's.
    std::string handTimeNow() const;

    const WindowControls& ui_;
    RaceView& raceView_;
    timing::RaceController& controller_;
    // The decoder's clock minus this computer's, as the latest decoder passing showed it.
    std::optional<timing::Hundredths> decoderClockOffset_;
    QString lastTakenBack_;      // what the latest take-back took back, for its message
    bool chosenInGrid_ = false;  // the passing to take back was chosen in the grid
};

}  // namespace tivaro::app
