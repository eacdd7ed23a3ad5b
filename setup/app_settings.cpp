// Recent files and window position in QSettings.
#include "setup/app_settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include "setup/tov_doc.h"

namespace tov::setup {
namespace {

constexpr const char* kRecentSection = "Recent File List";
constexpr const char* kPositionSection = "WindowPos";
constexpr int kMissing = 0xFFFF;

void writeRecentFiles(const QStringList& files) {
    QSettings settings;
    settings.beginGroup(kRecentSection);
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString key = QString("File%1").arg(i + 1);
        if (i < files.size()) {
            settings.setValue(key, files[i]);
        } else {
            settings.remove(key);
        }
    }
}

}  // namespace

void setSettingsNames() {
    QCoreApplication::setOrganizationName("Marvane");
    QCoreApplication::setApplicationName(kAppTitle);
}

QStringList recentFiles() {
    QSettings settings;
    settings.beginGroup(kRecentSection);
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = settings.value(QString("File%1").arg(i)).toString();
        if (!file.isEmpty()) files << file;
    }
    return files;
}

void addRecentFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    writeRecentFiles(files.mid(0, kRecentFileCount));
}

void removeRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.removeAll(QFileInfo(path).absoluteFilePath());
    writeRecentFiles(files);
}

std::optional<QRect> storedWindowRect() {
    QSettings settings;
    settings.beginGroup(kPositionSection);
    if (settings.value("leftPos", kMissing).toInt() == kMissing) return std::nullopt;
    const int left = settings.value("leftPos").toInt();
    const int top = settings.value("topPos").toInt();
    const int right = settings.value("rightPos").toInt();
    const int bottom = settings.value("bottomPos").toInt();
    if (right <= left || bottom <= top) return std::nullopt;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void storeWindowRect(const QRect& rect) {
    QSettings settings;
    settings.beginGroup(kPositionSection);
    settings.setValue("leftPos", rect.left());
    settings.setValue("topPos", rect.top());
    // Right and bottom lie just outside the rectangle, as the platform's rectangles count them.
    settings.setValue("rightPos", rect.right() + 1);
    settings.setValue("bottomPos", rect.bottom() + 1);
}

std::optional<QRect> usableWindowRect(const QRect& desktop) {
    const std::optional<QRect> rect = storedWindowRect();
    if (!rect || !desktop.contains(*rect)) return std::nullopt;
    return rect;
}

}  // namespace tov::setup
