#include "platform/qt/qt_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/qt/qt_text.h"

namespace velk2 {

namespace {

// "*.DSP" also as "*.dsp", so that the list shows the files whatever the case
// of their extension.
QString case_blind_filter(const std::string& pattern) {
    const QString p = to_qstring(pattern);
    if (p.isEmpty()) return QStringLiteral("*");
    const QString lower = p.toLower();
    const QString upper = p.toUpper();
    QStringList parts{p};
    if (!parts.contains(lower)) parts << lower;
    if (!parts.contains(upper)) parts << upper;
    return parts.join(QLatin1Char(' '));
}

} // namespace

void show_message_box(QWidget* parent, const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Information, to_qstring(title), to_qstring(text), QMessageBox::Ok,
                    parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string choose_file(QWidget* parent, const FileDialogRequest& request, bool save) {
    QFileDialog dialog(parent, to_qstring(request.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setNameFilter(case_blind_filter(request.pattern));

    const QString folder =
        request.folder.empty() ? QDir::currentPath() : path_to_qstring(request.folder);
    dialog.setDirectory(folder);
    if (!request.default_name.empty()) dialog.selectFile(path_to_qstring(request.default_name));

    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return path_to_bytes(QFileInfo(chosen.first()).absoluteFilePath());
}

} // namespace velk2
