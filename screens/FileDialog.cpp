#include "screens/FileDialog.h"

#include <QFileDialog>

namespace FileDialog {

tHook& Hook() {
    static tHook hook;
    return hook;
}

QString Run(QWidget* parent, const sFileDialogSpec& spec) {
    if (Hook()) return Hook()(spec);
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(spec.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(spec.Filter);
    dialog.setDefaultSuffix(spec.DefaultSuffix);
    // The overwrite question is set on every showing.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(spec.Save && spec.ConfirmOverwrite));
    if (spec.Save && !spec.ProposedName.isEmpty()) dialog.selectFile(spec.ProposedName);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace FileDialog
