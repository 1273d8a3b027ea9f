#pragma once
// Keeps the race workbook on disk while passings come in: each passing that wrote into the
// workbook marks it changed, and a save follows once no more input is waiting, at most about
// twice a second during a burst. The decision is the save policy's; this class only drives
// it from a timer and reports what happened.

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>

#include "workbook/save_policy.h"
#include "workbook/workbook.h"

namespace tivaro::app {

class WorkbookSaver final : public QObject {
    Q_OBJECT
public:
    // `workbook` gives the race workbook in force (null: none); `inputWaiting` tells whether
    // more decoder bytes are waiting to be handled; `report` takes messages for the status
    // line; two saves are at least `interval` apart.
    WorkbookSaver(std::function<workbook::Workbook*()> workbook, std::function<bool()> inputWaiting,
                  std::function<void(const QString&)> report,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(500),
                  QObject* parent = nullptr);

    // A passing wrote into the workbook.
    void markChanged();
    // Saves now when changes are pending (closing the window, opening another workbook).
    // False when the save failed; the changes then stay pending.
    bool saveNow();
    // Another workbook was opened: nothing of it is pending yet.
    void forget();

    bool pending() const { return policy_.pending(); }
    // The shortest time between two saves from now on.
    void setInterval(std::chrono::milliseconds interval);

    // The timed check, run when due() was emitted: saves when the policy says so, else
    // waits for the time it names.
    void check();

signals:
    // Time to run check(). The window runs it like any other event it handles.
    void due();
    // A save failed (`failing`, with why), or one succeeded after failures.
    void failingChanged(bool failing, const QString& message);

private:
    bool Save();
    void Schedule(workbook::SavePolicy::Clock::duration atLeast);

    std::function<workbook::Workbook*()> workbook_;
    std::function<bool()> inputWaiting_;
    std::function<void(const QString&)> report_;
    std::chrono::milliseconds interval_;
    workbook::SavePolicy policy_;
    QTimer timer_;
    bool failing_ = false;  // the last save failed
};

}  // namespace tivaro::app
