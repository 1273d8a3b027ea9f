#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/window_layout.h"

namespace tivaro::app {

namespace {

void OpenFileDialog(QFileDialog* dialog, FileChosen chosen) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Exactly one of the two comes: a file, or the dialog closed without one.
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [chosen, answered](const QString& file) {
                         *answered = true;
                         chosen(std::filesystem::path(file.toStdString()));
                     });
    QObject::connect(dialog, &QDialog::finished, dialog, [chosen, answered](int) {
        if (!*answered) {
            chosen(std::nullopt);
        }
    });
    dialog->open();
}

}  // namespace

void AskForFileToOpen(QWidget* parent, const QString& title, const QString& folder,
                      const QString& filter, FileChosen chosen) {
    auto* dialog = new QFileDialog(parent, title, folder, filter);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // The dialog starts with the formats the engine reads, the second entry.
    dialog->selectNameFilter(filter.section(QStringLiteral(";;"), 1, 1));
    OpenFileDialog(dialog, std::move(chosen));
}

void AskForFileToSave(QWidget* parent, const QString& title, const QString& suggested,
                      const QString& filter, FileChosen chosen) {
    auto* dialog = new QFileDialog(parent, title, suggested, filter);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(suggested);
    OpenFileDialog(dialog, std::move(chosen));
}

void AskQuestion(QWidget* parent, const QString& question, const QString& yes,
                 std::function<void(bool)> answer) {
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromLatin1(kWindowTitle), question,
                                QMessageBox::NoButton, parent);
    QPushButton* yesButton = box->addButton(yes, QMessageBox::YesRole);
    box->addButton(yes == QObject::tr("Ja") ? QObject::tr("Nee") : QObject::tr("Annuleren"),
                   QMessageBox::NoRole);
    box->setDefaultButton(yesButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, yesButton, answer = std::move(answer)] {
                         answer(box->clickedButton() == yesButton);
                     });
    box->open();
}

void ShowWarning(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kWindowTitle), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace tivaro::app
