#include "app/debug_boxes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace tivaro::app {

namespace {

// The dumps come with CR LF line ends; a text box shows a line per LF.
QString ForDisplay(std::string_view text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

void AppendCapped(QPlainTextEdit* box, const QString& text, int capChars) {
    // characterCount() counts one paragraph separator more than the text holds.
    const qsizetype held = box->document()->characterCount() - 1;
    if (held + text.size() <= capChars) {
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        end.insertText(text);
    } else {
        QString kept = box->toPlainText() + text;
        qsizetype cut = kept.size() - capChars;
        const qsizetype lineStart = kept.indexOf('\n', cut);
        cut = lineStart < 0 ? cut : lineStart + 1;
        box->setPlainText(kept.mid(cut));
    }
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

DebugBoxes::DebugBoxes(QCheckBox* rawCheck, QCheckBox* unescapedCheck, QPlainTextEdit* rawBox,
                       QPlainTextEdit* unescapedBox, QLineEdit* serialLineBox, int capChars)
    : rawCheck_(rawCheck),
      unescapedCheck_(unescapedCheck),
      rawBox_(rawBox),
      unescapedBox_(unescapedBox),
      serialLineBox_(serialLineBox),
      capChars_(capChars) {}

bool DebugBoxes::rawDumpWanted() const {
    return rawCheck_->isChecked();
}

bool DebugBoxes::unescapedDumpWanted() const {
    return unescapedCheck_->isChecked();
}

void DebugBoxes::appendRawDump(std::string_view text) {
    AppendCapped(rawBox_, ForDisplay(text), capChars_);
}

void DebugBoxes::appendUnescapedDump(std::string_view text) {
    AppendCapped(unescapedBox_, ForDisplay(text), capChars_);
}

void DebugBoxes::showSerialLine(std::string_view line) {
    serialLineBox_->setText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void DebugBoxes::note(std::string_view text) {
    AppendCapped(rawBox_, ForDisplay(text), capChars_);
}

}  // namespace tivaro::app
