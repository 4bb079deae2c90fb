#include "screens/FileDialog.h"

#include <QFileDialog>

namespace FileDialog {

tHook& Hook() {
    static tHook hook;
    return hook;
}

QString Run(QWidget* parent, const sFileDialogRequest& request) {
    if (Hook()) return Hook()(request);
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.Filter);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    // The overwrite question is set on every showing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.Save && request.ConfirmOverwrite));
    if (request.Save && !request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace FileDialog
