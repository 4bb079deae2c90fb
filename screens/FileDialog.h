// The file dialogs of the screens: Qt's own (non-native) open and save
// dialogs with a filter, a proposed name, a default extension and the
// overwrite question when asked for. Tests replace the dialog through Hook().
//
// The dialogs never read the contents of the files they list: types and icons
// come from the names alone. Guessing a type from the contents would read
// every listed file, and some files (/proc/kmsg) block a reader for ever.
#pragma once

#include <functional>
#include <vector>

#include <QList>
#include <QString>
#include <QUrl>

class QAbstractFileIconProvider;
class QWidget;

struct sFileDialogRequest {
    bool Save = false;
    QString Title;          // what the file is for; empty: Qt's own title
    QString Filter;         // Qt form: "Vehicle settings .zv2 (*.zv2)"
    QString DefaultSuffix;  // without the dot: "zv2"
    QString ProposedName;   // save dialogs: "vehicle"
    bool ConfirmOverwrite = false;
    QString Folder;  // where the dialog opens; empty: the folder used last
    // Places of the program's own, listed beside the usual ones in the
    // dialog's side bar (the folder need not exist yet).
    struct sPlace {
        QString Name;
        QString Path;
    };
    std::vector<sPlace> Places;
};

namespace FileDialog {
// When set, called instead of showing a dialog; returns the chosen path or
// an empty string for a cancelled dialog.
using tHook = std::function<QString(const sFileDialogRequest&)>;
tHook& Hook();

// Shows the dialog modally; the chosen path, or empty when cancelled.
QString Run(QWidget* parent, const sFileDialogRequest& request);

// Where a dialog for `request` opens: its own folder, else the one used
// last, else the fitter's Documents, else the home folder; never the
// program's working folder (on Windows the program's own folder, which under
// Program Files cannot be written).
QString StartFolder(const sFileDialogRequest& request);

// The name a side bar entry of the dialogs shows for `path`: a place's own
// name, or empty for the usual places.
QString PlaceName(const QString& path);

// The side bar of a dialog for `request`: the usual places and the
// request's own, whatever an earlier dialog left in Qt's shared settings.
QList<QUrl> SidebarUrls(const sFileDialogRequest& request);

// The icon and type source of the dialogs: by file name only.
QAbstractFileIconProvider* NameOnlyIcons();
}  // namespace FileDialog
