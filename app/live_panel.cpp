#include "app/live_panel.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qr_view.h"
#include "app/saved_setup.h"
#include "live/lan_addresses.h"
#include "live/live_server.h"

namespace tivaro::app {

LivePanel::LivePanel(std::function<QByteArray()> snapshot, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      server_(new live::LiveServer(std::move(snapshot), {}, this)),
      switch_(new QAction(tr("&Live uitslagen"), this)),
      show_(new QAction(tr("Live uitslagen: &adressen en QR-code"), this)),
      state_(new QLabel(this)),
      port_(new QSpinBox(this)),
      addresses_(new QLabel(this)),
      codeFor_(new QComboBox(this)),
      code_(new QrView(this)) {
    setObjectName(QStringLiteral("LivePanel"));
    setWindowTitle(tr("Live uitslagen"));
    switch_->setObjectName(QStringLiteral("LiveResults"));
    switch_->setCheckable(true);
    show_->setObjectName(QStringLiteral("ShowLiveResults"));
    state_->setObjectName(QStringLiteral("LiveState"));
    state_->setWordWrap(true);
    port_->setObjectName(QStringLiteral("LivePort"));
    port_->setRange(1, 65535);
    port_->setKeyboardTracking(false);
    addresses_->setObjectName(QStringLiteral("LiveAddresses"));
    addresses_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    codeFor_->setObjectName(QStringLiteral("LiveCodeFor"));
    code_->setObjectName(QStringLiteral("LiveCode"));
    code_->setFixedSize(220, 220);

    auto* hint = new QLabel(
        tr("Scan de code met de camera van een telefoon op hetzelfde netwerk. Tik op de pagina "
           "op een rugnummer om het te volgen; de link onthoudt het. Voor een scherm in de hal: "
           "zet ?bord achter het adres."),
        this);
    hint->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(tr("Poort:"), port_);
    form->addRow(tr("Adressen:"), addresses_);
    form->addRow(tr("QR-code voor:"), codeFor_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(state_);
    layout->addLayout(form);
    layout->addWidget(code_, 0, Qt::AlignHCenter);
    layout->addWidget(hint);
    setMinimumWidth(320);

    const SavedSetup saved = SavedSetup::Load();
    port_->setValue(saved.liveResultsPort);
    {
        const QSignalBlocker blocker(switch_);
        switch_->setChecked(saved.liveResults);
    }
    connect(switch_, &QAction::toggled, this, [this](bool on) {
        SavedSetup::SaveLiveResults(on, static_cast<quint16>(port_->value()));
        turn(on);
    });
    connect(show_, &QAction::triggered, this, [this] {
        refresh();
        show();
        raise();
    });
    connect(port_, &QSpinBox::valueChanged, this, &LivePanel::portChosen);
    connect(codeFor_, &QComboBox::currentTextChanged, this, &LivePanel::showCode);
    connect(server_, &live::LiveServer::clientsChanged, this, &LivePanel::showState);
    refresh();
}

LivePanel::~LivePanel() = default;

void LivePanel::restore() {
    if (switch_->isChecked()) {
        turn(true);
    }
}

void LivePanel::raceChanged() {
    server_->changed();
}

void LivePanel::turn(bool on) {
    if (!on) {
        server_->close();
        emit news(tr("Live uitslagen staan uit."));
        refresh();
        return;
    }
    const quint16 port = static_cast<quint16>(port_->value());
    if (Status listening = server_->listen(port); !listening) {
        {
            const QSignalBlocker blocker(switch_);
            switch_->setChecked(false);
        }
        emit problem(tr("De live uitslagen zijn niet gestart: poort %1 is bezet of kan niet "
                        "worden geopend. Kies in het venster Live uitslagen een andere poort "
                        "en zet ze opnieuw aan met Instellingen \u203a Live uitslagen. De "
                        "wedstrijd gaat gewoon door. (%2)")
                         .arg(port)
                         .arg(QString::fromStdString(listening.error().message)));
        refresh();
        show();
        return;
    }
    server_->changed();
    refresh();
    emit news(tr("Live uitslagen staan aan op poort %1.").arg(port));
    show();
}

void LivePanel::portChosen() {
    SavedSetup::SaveLiveResults(switch_->isChecked(), static_cast<quint16>(port_->value()));
    if (switch_->isChecked()) {
        turn(true);
    }
}

void LivePanel::showState() {
    if (!server_->isListening()) {
        state_->setText(
            tr("Live uitslagen staan uit. Zet ze aan met Instellingen \u203a Live "
               "uitslagen."));
    } else {
        state_->setText(
            tr("Live uitslagen staan aan: %n kijker(s).", nullptr, server_->webSocketClients()));
    }
}

void LivePanel::refresh() {
    showState();
    const bool on = server_->isListening();
    const QString current = codeFor_->currentText();
    QStringList urls;
    for (const QHostAddress& address : live::LanAddresses()) {
        urls.append(
            live::PageUrl(address, on ? server_->port() : static_cast<quint16>(port_->value())));
    }
    addresses_->setText(urls.isEmpty() ? tr("Geen netwerk: sluit deze computer aan op het "
                                            "netwerk van de hal.")
                                       : urls.join(QLatin1Char('\n')));
    {
        const QSignalBlocker blocker(codeFor_);
        codeFor_->clear();
        codeFor_->addItems(urls);
        if (urls.contains(current)) {
            codeFor_->setCurrentText(current);
        }
    }
    showCode();
}

void LivePanel::showCode() {
    code_->setText(server_->isListening() ? codeFor_->currentText() : QString());
}

}  // namespace tivaro::app
