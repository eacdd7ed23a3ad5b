// "TOV-B Update/Setup": connects to the probe's loader, shows the current and the newest firmware
// and logic versions, updates what differs, and transmits the probe's TCP/IP configuration.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>
#include <string>

#include "maint/exported_loader_link.h"
#include "maint/file_search.h"
#include "maint/probe_identity.h"
#include "setup/tov_doc.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tov::setup {

// The document values the dialog edits.
struct UpdateSettings {
    uint32_t loaderChannel = 0;
    uint32_t loaderBaudIndex = 0;
    std::string ipAddress;
    std::string subnetMask;
    std::string gateway;
    bool operator==(const UpdateSettings&) const = default;
};

// Where the firmware and logic files are looked for: $TOV_FIRMWARE_DIR, else the program's own
// directory.
QString firmwareDirectory();

class CUpdateDlg : public QDialog {
    Q_OBJECT
public:
    CUpdateDlg(const UpdateSettings& values, const QString& fileDirectory,
               QWidget* parent = nullptr);
    ~CUpdateDlg() override;

    const UpdateSettings& values() const { return values_; }
    bool connected() const { return connected_; }
    bool busy() const { return busy_; }
    // Every status text shown so far, oldest first; the status line shows the last.
    const QStringList& statusLog() const { return statusLog_; }
    QString statusText() const;
    // The shown texts: current and newest firmware and logic versions, serial number, MAC.
    QString currentFirmwareText() const;
    QString currentLogicText() const;
    QString newestFirmwareText() const;
    QString newestLogicText() const;
    QString serialText() const;
    QString macText() const;

public slots:
    void onConnect();
    void onCurrent();
    void onUpdate();
    void onTransmit();
    void accept() override;
    void reject() override;

private:
    // Takes the field contents; false (with the message shown) for an invalid IP address.
    bool takeFields();
    void setStatus(const QString& text);
    void findNewestFiles();
    void showVersions();
    void updateButtons();
    // Reads the versions again on the open link: false on failure.
    bool readCurrentVersions();
    bool updateFirmware();
    bool updateLogic();
    // The update's work under the busy guard of onUpdate.
    void runUpdate();
    // Starts the firmware and closes the link when the loader is connected.
    void startFirmware();

    UpdateSettings values_;
    QString directory_;
    bool connected_ = false;
    bool busy_ = false;
    std::unique_ptr<maint::ExportedLoaderLink> link_;
    maint::ProbeIdentity probe_;
    unsigned currentFirmware_ = 0;
    unsigned currentLogic_ = 0;
    maint::FoundFile newestFirmware_;
    maint::FoundFile newestLogic_;
    QStringList statusLog_;

    QComboBox* channel_;
    QComboBox* rate_;
    QPushButton* connect_;
    QPushButton* current_;
    QPushButton* update_;
    QPushButton* transmit_;
    QLabel* status_;
    QLabel* currentFirmwareLabel_;
    QLabel* currentLogicLabel_;
    QLabel* newestFirmwareLabel_;
    QLabel* newestLogicLabel_;
    QLabel* serial_;
    QLabel* mac_;
    QLineEdit* ip_;
    QLineEdit* mask_;
    QLineEdit* gatewayEdit_;
};

// The firmware command: runs the dialog on the document's values and takes the five values on
// "Ok" when one of them changed (marking the document modified).
void runUpdateDialog(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
