#include "screens/FileDialog.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QListView>
#include <QLocale>
#include <QMimeDatabase>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>

#include "kit/IOForm.h"
#include "kit/QtText.h"

namespace {

// Qt's own provider asks the MIME database for every listed file, which reads
// the file's first bytes when its name says nothing. This one looks at the
// name and the kind of entry only.
class cNameOnlyIconProvider : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }

    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(Drive);
        if (info.isDir()) return icon(Folder);
        return icon(File);
    }

    QString type(const QFileInfo& info) const override {
        // Folders and drives in the program's own words: Qt's catalogues of
        // some languages leave these two in English.
        // TRANSLATORS: the type of a drive in the file dialog's list.
        if (info.isRoot()) return Tr("Drive");
        // TRANSLATORS: the type of a folder in the file dialog's list.
        if (info.isDir()) return Tr("Folder");
        const QList<QMimeType> byName = Mime.mimeTypesForFileName(info.fileName());
        const QMimeType mime =
            byName.isEmpty() ? Mime.mimeTypeForName(QStringLiteral("application/octet-stream")) : byName.first();
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeDatabase Mime;
};

QString& LastFolder() {
    static QString folder;
    return folder;
}

// The program's own places by their clean local path.
QHash<QString, QString>& PlaceNames() {
    static QHash<QString, QString> names;
    return names;
}

// The side bar names its entries after their folders; the program's own
// places are shown under their own names. The side bar's list keeps each
// entry's address in the role after Qt::UserRole.
class cPlaceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QUrl url = index.data(Qt::UserRole + 1).toUrl();
        if (!url.isLocalFile()) return;
        const QString name = FileDialog::PlaceName(url.toLocalFile());
        if (!name.isEmpty()) option->text = name;
    }
};

// Qt's dialog opens small: at 800 x 600 its date column is cut. It takes most
// of the program's window instead, centred on it, with its text scaled like
// the screens' (a 12-point design size, never below 11 pixels), and the
// detail list's columns are as wide as their texts need, the name taking the
// rest.
void FitToWindow(QFileDialog& dialog, const sFileDialogRequest& request) {
    const QRect window = cIOForm::ProgramWindow();
    const double ratio = cIOForm::DialogRatio();
    QFont font = dialog.font();
    font.setPixelSize(std::max(11, int(std::lround(16 * ratio))));
    dialog.setFont(font);
    dialog.resize(std::min(int(window.width() * 0.94), int(1000 * ratio)),
                  std::min(int(window.height() * 0.84), int(680 * ratio)));
    dialog.move(cIOForm::DialogPosition(dialog.size()));
    // The places on the left keep their names whole ("Computer" and its
    // translations).
    if (auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"))) {
        const int total = dialog.width();
        splitter->setSizes({total / 6, total - total / 6});
    }
    if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        const QFontMetrics fm(tree->font());
        const QString date =
            QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat);
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->resizeSection(1, fm.horizontalAdvance(QStringLiteral("888.8 KiB")) + fm.averageCharWidth() * 4);
        // The type column as wide as the type of the files asked for ("PDF
        // document" and its translations) or "Folder", whichever is wider.
        int typeWidth = fm.horizontalAdvance(Tr("Folder"));
        if (!request.DefaultSuffix.isEmpty())
            typeWidth = std::max(typeWidth, fm.horizontalAdvance(FileDialog::NameOnlyIcons()->type(
                                                QFileInfo(QStringLiteral("x.") + request.DefaultSuffix))));
        header->resizeSection(2, typeWidth + fm.averageCharWidth() * 4);
        // A name too long for its column keeps its beginning: the backups'
        // names begin with their date and time.
        tree->setTextElideMode(Qt::ElideRight);
        header->resizeSection(3, fm.horizontalAdvance(date) + fm.averageCharWidth() * 4);
    }
}

}  // namespace

namespace FileDialog {

QList<QUrl> SidebarUrls(const sFileDialogRequest& request) {
    // Qt keeps the side bar of the last dialog in its shared settings and
    // starts the next one with it: each dialog sets its own instead, the
    // usual places (the computer, the home folder) and the request's.
    QList<QUrl> urls{QUrl(QStringLiteral("file:")), QUrl::fromLocalFile(QDir::homePath())};
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists() && !urls.contains(QUrl::fromLocalFile(documents)))
        urls.append(QUrl::fromLocalFile(documents));
    for (const sFileDialogRequest::sPlace& place : request.Places) {
        // The side bar lists only folders that exist.
        if (place.Path.isEmpty()) continue;
        const QString path = QDir::cleanPath(place.Path);
        QDir().mkpath(path);
        PlaceNames().insert(path, place.Name);
        const QUrl url = QUrl::fromLocalFile(path);
        if (!urls.contains(url)) urls.append(url);
    }
    return urls;
}

tHook& Hook() {
    static tHook hook;
    return hook;
}

QAbstractFileIconProvider* NameOnlyIcons() {
    static cNameOnlyIconProvider provider;
    return &provider;
}

QString PlaceName(const QString& path) { return PlaceNames().value(QDir::cleanPath(path)); }

QString StartFolder(const sFileDialogRequest& request) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    for (const QString& folder : {request.Folder, LastFolder(), documents})
        if (!folder.isEmpty() && QDir(folder).exists()) return folder;
    return QDir::homePath();
}

QString Run(QWidget* parent, const sFileDialogRequest& request) {
    if (Hook()) return Hook()(request);
    const QString folder = StartFolder(request);

    // The dialog starts listing its first folder while it is being built,
    // before it can be given the name-only icons: it is built on an empty
    // folder and sent to the real one afterwards.
    QTemporaryDir empty;
    QFileDialog dialog(parent, QString(), empty.isValid() ? empty.path() : QStringLiteral("/nonexistent"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!request.Title.isEmpty()) dialog.setWindowTitle(request.Title);
    dialog.setIconProvider(NameOnlyIcons());
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.Filter);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    // The overwrite question is set on every showing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.Save && request.ConfirmOverwrite));
    dialog.setSidebarUrls(SidebarUrls(request));
    if (auto* bar = dialog.findChild<QListView*>(QStringLiteral("sidebar")))
        bar->setItemDelegate(new cPlaceDelegate(bar));
    dialog.setDirectory(folder);
    if (request.Save && !request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
    dialog.setWindowModality(Qt::ApplicationModal);
    FitToWindow(dialog, request);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QString shown = dialog.directory().absolutePath();
    if (shown != empty.path()) LastFolder() = shown;
    if (!accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace FileDialog
