// The update dialog over the loader procedures, sent through the library's exported calls with
// the setup program's texts, waits and codes.
#include "setup/update_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/error_codes.h"
#include "maint/family_table.h"
#include "maint/firmware_update.h"
#include "maint/loader_requests.h"
#include "maint/logic_update.h"
#include "maint/network_config.h"
#include "setup/busy_scope.h"
#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/message_box.h"
#include "setup/value_tables.h"

namespace tov::setup {
namespace {

constexpr const char* kFirmwareFile = "TQBA11FW";
constexpr const char* kLogicFile = "ARMJEDQB";
constexpr const char* kLogicFileRevC = "ARMJEDQC";
constexpr const char* kMacPrefix = "02C1A5";
constexpr int kFieldLength = 15;
constexpr int kLoaderChannels = 4;
constexpr int kLoaderRates = 4;  // 9600 .. 57600
constexpr const char* kUpdateFailed = "Updating firmware and logic failed!";
constexpr const char* kCommunicationFailed = "Communication with TOV failed!";

QString versionText(unsigned version) {
    return QString::fromStdString(maint::versionDisplayText(version));
}

QLineEdit* addressField(const std::string& stored) {
    auto* edit = new QLineEdit(storedToShown(stored).left(kFieldLength));
    edit->setMaxLength(kFieldLength);
    return edit;
}

void warn(QWidget* parent, const QString& text, const QString& caption = {}) {
    showMessage(parent, {text, caption, QMessageBox::Warning});
}

// A Rev.C probe reports ten serial characters, the tenth 'C'.
bool isRevC(const std::string& serial) {
    return serial.size() == 10 && serial[9] == 'C';
}

}  // namespace

QString firmwareDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("TOV_FIRMWARE_DIR");
    return fromEnvironment.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnvironment;
}

CUpdateDlg::CUpdateDlg(const UpdateSettings& values, const QString& fileDirectory, QWidget* parent)
    : QDialog(parent),
      values_(values),
      directory_(QDir::cleanPath(fileDirectory)),
      channel_(new QComboBox),
      rate_(new QComboBox),
      connect_(new QPushButton("&Connect")),
      current_(new QPushButton("Current")),
      update_(new QPushButton("Update")),
      transmit_(new QPushButton("&Transmit")),
      status_(new QLabel),
      currentFirmwareLabel_(new QLabel),
      currentLogicLabel_(new QLabel),
      newestFirmwareLabel_(new QLabel),
      newestLogicLabel_(new QLabel),
      serial_(new QLabel),
      mac_(new QLabel),
      ip_(addressField(values.ipAddress)),
      mask_(addressField(values.subnetMask)),
      gatewayEdit_(addressField(values.gateway)) {
    setFont(dialogFont());
    setWindowTitle("TOV-B Update/Setup");

    for (int i = 0; i < kLoaderChannels; ++i) channel_->addItem(QString("COM%1").arg(i + 1));
    for (int i = 0; i < kLoaderRates; ++i) rate_->addItem(QString::number(kLineRates[size_t(i)]));
    channel_->setCurrentIndex(
        values.loaderChannel < kLoaderChannels ? static_cast<int>(values.loaderChannel) : 0);
    rate_->setCurrentIndex(
        values.loaderBaudIndex < kLoaderRates ? static_cast<int>(values.loaderBaudIndex) : 0);

    auto* linkBox = new QGroupBox("Loader Connection");
    auto* linkLayout = new QGridLayout(linkBox);
    linkLayout->addWidget(new QLabel("Channel:"), 0, 0);
    linkLayout->addWidget(channel_, 0, 1);
    linkLayout->addWidget(new QLabel("Baudrate:"), 1, 0);
    linkLayout->addWidget(rate_, 1, 1);
    linkLayout->addWidget(connect_, 0, 2, 2, 1);

    auto* versionBox = new QGroupBox("Versions");
    auto* versions = new QGridLayout(versionBox);
    versions->addWidget(new QLabel("Current"), 0, 1);
    versions->addWidget(new QLabel("Newest"), 0, 2);
    versions->addWidget(new QLabel("Firmware:"), 1, 0);
    versions->addWidget(currentFirmwareLabel_, 1, 1);
    versions->addWidget(newestFirmwareLabel_, 1, 2);
    versions->addWidget(new QLabel("Logic:"), 2, 0);
    versions->addWidget(currentLogicLabel_, 2, 1);
    versions->addWidget(newestLogicLabel_, 2, 2);
    versions->addWidget(current_, 1, 3);
    versions->addWidget(update_, 2, 3);
    auto* searched = new QLabel("Files from: " + QDir::toNativeSeparators(directory_));
    searched->setObjectName("searchedDirectory");
    searched->setWordWrap(true);
    versions->addWidget(searched, 3, 0, 1, 4);

    auto* netBox = new QGroupBox("TCP/IP Configuration");
    auto* net = new QFormLayout(netBox);
    net->addRow("IP - Address", ip_);
    net->addRow("Subnet Mask", mask_);
    net->addRow("Default Gateway", gatewayEdit_);
    net->addRow("SN:", serial_);
    net->addRow("MAC:", mac_);
    net->addRow(QString(), transmit_);

    auto* ok = new QPushButton("Ok");
    auto* cancel = new QPushButton("Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setMinimumWidth(340);
    status_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(linkBox);
    layout->addWidget(versionBox);
    layout->addWidget(netBox);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    connect(connect_, &QPushButton::clicked, this, &CUpdateDlg::onConnect);
    connect(current_, &QPushButton::clicked, this, &CUpdateDlg::onCurrent);
    connect(update_, &QPushButton::clicked, this, &CUpdateDlg::onUpdate);
    connect(transmit_, &QPushButton::clicked, this, &CUpdateDlg::onTransmit);
    connect(ok, &QPushButton::clicked, this, &CUpdateDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CUpdateDlg::reject);

    findNewestFiles();
    showVersions();
    updateButtons();
}

CUpdateDlg::~CUpdateDlg() {
    if (link_) link_->close();
}

QString CUpdateDlg::statusText() const {
    return status_->text();
}
QString CUpdateDlg::currentFirmwareText() const {
    return currentFirmwareLabel_->text();
}
QString CUpdateDlg::currentLogicText() const {
    return currentLogicLabel_->text();
}
QString CUpdateDlg::newestFirmwareText() const {
    return newestFirmwareLabel_->text();
}
QString CUpdateDlg::newestLogicText() const {
    return newestLogicLabel_->text();
}
QString CUpdateDlg::serialText() const {
    return serial_->text();
}
QString CUpdateDlg::macText() const {
    return mac_->text();
}

void CUpdateDlg::setStatus(const QString& text) {
    // Percentages repeat while the work goes on; only a change is shown.
    if (!statusLog_.isEmpty() && statusLog_.last() == text) return;
    statusLog_ << text;
    status_->setText(text);
    BusyScope::pump();
}

bool CUpdateDlg::takeFields() {
    UpdateSettings taken = values_;
    taken.loaderChannel = static_cast<uint32_t>(channel_->currentIndex());
    taken.loaderBaudIndex = static_cast<uint32_t>(rate_->currentIndex());
    taken.ipAddress = shownToStored(ip_->text(), values_.ipAddress);
    taken.subnetMask = shownToStored(mask_->text(), values_.subnetMask);
    taken.gateway = shownToStored(gatewayEdit_->text(), values_.gateway);
    if (maint::dottedAddressValue(taken.ipAddress.c_str()) == 0xFFFFFFFF) {
        warn(this, "Invalid IP address!");
        ip_->setFocus();
        ip_->selectAll();
        return false;
    }
    values_ = taken;
    return true;
}

void CUpdateDlg::findNewestFiles() {
    const std::string prefix = directory_.toStdString() + "/";
    newestFirmware_ = maint::findNewestFile(prefix, kFirmwareFile);
    newestLogic_ =
        maint::findNewestFile(prefix, isRevC(probe_.serial) ? kLogicFileRevC : kLogicFile);
}

void CUpdateDlg::showVersions() {
    currentFirmwareLabel_->setText(versionText(currentFirmware_));
    currentLogicLabel_->setText(versionText(currentLogic_));
    newestFirmwareLabel_->setText(versionText(newestFirmware_.version));
    newestLogicLabel_->setText(versionText(newestLogic_.version));
}

void CUpdateDlg::updateButtons() {
    connect_->setEnabled(!connected_);
    current_->setEnabled(connected_);
    transmit_->setEnabled(connected_);
    update_->setEnabled(connected_ && (newestFirmware_.version != currentFirmware_ ||
                                       newestLogic_.version != currentLogic_));
}

void CUpdateDlg::onConnect() {
    if (busy_ || connected_ || !takeFields()) return;
    BusyFlag flag(busy_);
    int32_t rc = 0;
    {
        BusyScope busy(this);
        const QString port = QString("COM%1 %2")
                                 .arg(values_.loaderChannel + 1)
                                 .arg(kLineRates[values_.loaderBaudIndex]);
        link_ = std::make_unique<maint::ExportedLoaderLink>(port.toStdString());
        rc = maint::connectLoader(*link_, maint::setupCaller(), probe_);
    }
    if (rc != link::kOk || probe_.loaderVersion == 0) {
        link_->close();
        setStatus("Connecting to TOV-B loader failed!");
        warn(this,
             rc != link::kOk ? "Cannot connect to TOV loader!" : "There is no TOV-B connected!");
        probe_ = {};
        return;
    }
    connected_ = true;
    currentFirmware_ = maint::setupFirmwareVersion(probe_.firmwareWord);
    currentLogic_ = maint::setupLogicVersion(probe_.logicWord);
    serial_->setText(QString::fromLatin1(probe_.serial.c_str()));
    mac_->setText(kMacPrefix + QString::fromLatin1(probe_.serial.substr(0, 6).c_str()));
    findNewestFiles();
    setStatus("Connecting to TOV-B Loader passed!");
    showVersions();
    updateButtons();
}

bool CUpdateDlg::readCurrentVersions() {
    maint::ProbeIdentity read;
    if (maint::enterLoaderAndReadVersions(*link_, maint::setupCaller(), read) != link::kOk) {
        return false;
    }
    probe_ = read;
    currentFirmware_ = maint::setupFirmwareVersion(probe_.firmwareWord);
    currentLogic_ = maint::setupLogicVersion(probe_.logicWord);
    return true;
}

void CUpdateDlg::onCurrent() {
    if (busy_ || !connected_ || !takeFields()) return;
    BusyFlag flag(busy_);
    bool read = false;
    {
        BusyScope busy(this);
        setStatus("Reading current versions, please wait.");
        read = readCurrentVersions();
    }
    if (read) {
        setStatus("Reading current versions passed!");
    } else {
        setStatus("Reading current versions failed!");
        warn(this, kCommunicationFailed);
    }
    showVersions();
    updateButtons();
}

bool CUpdateDlg::updateFirmware() {
    setStatus("Firmware: Erasing Flash ...");
    bool erased = false;
    int lastPercent = -1;
    const auto progress = [&](uint64_t position, uint64_t length) {
        if (!erased) {
            erased = true;
            setStatus("Firmware: Programming Flash ...");
            return;
        }
        const int percent = length == 0 ? 100 : static_cast<int>(position * 100 / length);
        if (percent == lastPercent) return;
        lastPercent = percent;
        setStatus(QString("Firmware: Programming Flash ... ( %1% )").arg(percent));
    };
    const int32_t rc = maint::programFirmware(*link_, maint::ProbeModel::B, newestFirmware_.path,
                                              maint::setupCaller(), progress);
    if (rc == link::kOk) {
        setStatus("Firmware: Programming Flash ... passed!");
        return true;
    }
    setStatus(erased ? "Firmware: Programming Flash ... failed!"
                     : "Firmware: Erasing Flash ... failed!");
    currentFirmware_ = 0;
    currentLogic_ = 0;
    showVersions();
    return false;
}

bool CUpdateDlg::updateLogic() {
    const auto status = [this](const std::string& text) {
        setStatus(QString::fromStdString(text));
    };
    const maint::SetupLogicResult result = maint::programLogicForSetup(
        *link_, newestLogic_.path, static_cast<uint16_t>(newestLogic_.version), status);
    if (result.code == link::kOk) return true;
    setStatus(kUpdateFailed);
    warn(this, QString::fromStdString(result.message));
    return false;
}

void CUpdateDlg::onUpdate() {
    if (busy_ || !connected_ || !takeFields()) return;
    {
        BusyFlag flag(busy_);
        BusyScope busy(this);
        runUpdate();
    }
    // The guard gave back the buttons it held off; what the probe now holds decides.
    updateButtons();
}

void CUpdateDlg::runUpdate() {
    findNewestFiles();
    showVersions();
    const bool doFirmware = newestFirmware_.version != currentFirmware_;
    const bool doLogic = newestLogic_.version != currentLogic_;

    // Both files are read whole before anything is erased, so a missing or malformed file
    // cannot leave the probe without firmware or logic.
    if (doFirmware &&
        maint::checkFirmwareFile(newestFirmware_.path, maint::setupCaller()) != link::kOk) {
        setStatus(kUpdateFailed);
        warn(this, "Firmware update failed!");
        return;
    }
    if (doLogic) {
        const std::string problem = maint::checkSetupLogicFile(newestLogic_.path);
        if (!problem.empty()) {
            setStatus(kUpdateFailed);
            warn(this, QString::fromStdString(problem));
            return;
        }
    }

    if (doFirmware && !updateFirmware()) {
        setStatus(kUpdateFailed);
        warn(this, "Firmware update failed!");
        return;
    }
    if (doLogic && !updateLogic()) return;
    const bool read = readCurrentVersions();
    showVersions();
    if (!read) {
        setStatus(kUpdateFailed);
        warn(this, kCommunicationFailed);
        return;
    }
    // Programming the firmware erases the sector that holds the setup written by the
    // working-mode dialog; the probe starts without it until it is written again.
    setStatus(doFirmware ? "Updating firmware and logic passed! The stored setup was erased: "
                           "Transmit in the working-mode dialog writes it again."
                         : "Updating firmware and logic passed!");
}

void CUpdateDlg::onTransmit() {
    if (busy_ || !connected_ || !takeFields()) return;
    BusyFlag flag(busy_);
    int32_t rc = 0;
    {
        BusyScope busy(this);
        setStatus("Writing setup data ....");
        const maint::NetworkRecord record = maint::buildNetworkRecord(
            maint::shortSerial(probe_), maint::dottedAddressValue(values_.ipAddress.c_str()),
            maint::dottedAddressValue(values_.subnetMask.c_str()),
            maint::dottedAddressValue(values_.gateway.c_str()));
        rc = maint::writeNetworkRecord(*link_,
                                       maint::flashLayout(maint::ProbeModel::B).networkRecord,
                                       record, maint::setupCaller());
    }
    if (rc == link::kOk) {
        setStatus("Writing setup data passed");
    } else {
        setStatus("Writing setup data failed!");
        warn(this, "Transfer failed!", "Error");
    }
}

void CUpdateDlg::startFirmware() {
    if (!connected_) return;
    BusyFlag flag(busy_);
    BusyScope busy(this);
    setStatus("Starting firmware please wait....");
    maint::startFirmware(*link_);
    link_->close();
    connected_ = false;
}

void CUpdateDlg::accept() {
    if (busy_ || !takeFields()) return;
    startFirmware();
    QDialog::accept();
}

void CUpdateDlg::reject() {
    if (busy_) return;
    startFirmware();
    QDialog::reject();
}

void runUpdateDialog(CTovDoc& doc, QWidget* parent) {
    const UpdateSettings values{doc.loaderChannel, doc.loaderBaudIndex, doc.comm.ipAddress,
                                doc.subnetMask, doc.gateway};
    CUpdateDlg dialog(values, firmwareDirectory(), parent);
    if (dialog.exec() != QDialog::Accepted || dialog.values() == values) return;
    doc.loaderChannel = dialog.values().loaderChannel;
    doc.loaderBaudIndex = dialog.values().loaderBaudIndex;
    doc.comm.ipAddress = dialog.values().ipAddress;
    doc.subnetMask = dialog.values().subnetMask;
    doc.gateway = dialog.values().gateway;
    doc.setModified();
}

}  // namespace tov::setup
