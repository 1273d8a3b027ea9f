#pragma once
// The window's dialogs, none of which blocks the window: each is opened, the window goes on
// (passings keep coming in), and the answer is handed to a function once it is given. So no
// handler ever runs inside a dialog's own event loop.

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

class QWidget;

namespace tivaro::app {

using FileChosen = std::function<void(std::optional<std::filesystem::path> file)>;

// The file-open dialog starting in `folder`, with `filter` (its second entry chosen).
void AskForFileToOpen(QWidget* parent, const QString& title, const QString& folder,
                      const QString& filter, FileChosen chosen);
// The save dialog suggesting `suggested`.
void AskForFileToSave(QWidget* parent, const QString& title, const QString& suggested,
                      const QString& filter, FileChosen chosen);
// A question with a button `yes` and one to say no.
void AskQuestion(QWidget* parent, const QString& question, const QString& yes,
                 std::function<void(bool)> answer);
// A message that needs attention, with an OK button.
void ShowWarning(QWidget* parent, const QString& text);

}  // namespace tivaro::app
