#pragma once
// The debug boxes of the window, as the receive path sees them: "Debug raw" and "Debug
// Unescaped" decide whether a record's hexadecimal dump is wanted, the two multi-line boxes
// collect the dumps, and the one-line box shows the last text line read on the serial link.
//
// The dump boxes keep only their last `capChars` characters (64 KiB by default), cut at a
// line start, so a box left ticked during a long race never grows without bound.

#include <QString>
#include <string_view>

#include "link/receive_path.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace tivaro::app {

inline constexpr int kDebugBoxCapChars = 64 * 1024;

// Appends `text` at the end of `box`; when the box would then hold more than `capChars`
// characters, the oldest text is dropped up to the first line start that brings it under.
void AppendCapped(QPlainTextEdit* box, const QString& text, int capChars);

class DebugBoxes final : public link::DebugView {
public:
    // The widgets must outlive this object.
    DebugBoxes(QCheckBox* rawCheck, QCheckBox* unescapedCheck, QPlainTextEdit* rawBox,
               QPlainTextEdit* unescapedBox, QLineEdit* serialLineBox,
               int capChars = kDebugBoxCapChars);

    bool rawDumpWanted() const override;
    bool unescapedDumpWanted() const override;
    void appendRawDump(std::string_view text) override;
    void appendUnescapedDump(std::string_view text) override;
    void showSerialLine(std::string_view line) override;
    // Goes into the raw box, ticked or not, so it is there when someone looks.
    void note(std::string_view text) override;

private:
    QCheckBox* rawCheck_;
    QCheckBox* unescapedCheck_;
    QPlainTextEdit* rawBox_;
    QPlainTextEdit* unescapedBox_;
    QLineEdit* serialLineBox_;
    int capChars_;
};

}  // namespace tivaro::app
