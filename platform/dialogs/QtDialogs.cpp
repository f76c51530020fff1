#include "platform/dialogs/QtDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The width a window's frame needs to show its title whole: the title bar's
// buttons take room beside it.
int TitleFrameWidth(const QString& title)
{
    return QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 120;
}

} // namespace

int TQtDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    QMessageBox box(ParentWindow());
    box.setWindowTitle(Q(caption));
    box.setText(Q(text));
    switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct Choice { QMessageBox::StandardButton button; int id; };
    std::vector<Choice> choices;
    switch (flags & 0x0F) {
    case MB_OKCANCEL: choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
        choices = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        break;
    case MB_YESNOCANCEL:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO: choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: choices = {{QMessageBox::Ok, IDOK}}; break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button);
    std::size_t def = (flags & MB_DEFBUTTON2) && choices.size() > 1 ? 1 : 0;
    box.setDefaultButton(choices[def].button);
    // The box sizes itself from its layout: the button row, which spans it,
    // carries the width the title needs.
    if (auto* buttons = box.findChild<QDialogButtonBox*>()) {
        const QMargins m = box.layout() ? box.layout()->contentsMargins() : QMargins();
        buttons->setMinimumWidth(std::max(buttons->minimumSizeHint().width(), TitleFrameWidth(box.windowTitle()) - m.left() - m.right()));
    }
    int pressed = box.exec();
    for (const Choice& c : choices)
        if (c.button == pressed)
            return c.id;
    // Closed by the window's close button: the cancel answer where there is one.
    return choices.size() == 1 ? IDOK : IDCANCEL;
}

bool TQtDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    QInputDialog box(ParentWindow());
    box.setWindowTitle(Q(caption));
    box.setLabelText(Q(prompt));
    box.setTextValue(Q(value));
    // The box's layout sets its minimum size from its children: the edit
    // carries the width the title needs.
    if (auto* edit = box.findChild<QLineEdit*>())
        edit->setMinimumWidth(std::max(edit->minimumSizeHint().width(), TitleFrameWidth(box.windowTitle())));
    const bool ok = box.exec() == QDialog::Accepted;
    if (ok)
        value = box.textValue().toStdString();
    return ok;
}

bool TQtDialogs::SelectDirectory(const std::string& caption, std::string& directory)
{
    QString chosen = QFileDialog::getExistingDirectory(ParentWindow(), Q(caption), Q(directory));
    if (chosen.isEmpty())
        return false;
    directory = chosen.toStdString();
    return true;
}

bool TQtDialogs::OpenFileName(const std::string& caption, const std::string& filter, std::string& fileName)
{
    QString chosen = QFileDialog::getOpenFileName(ParentWindow(), Q(caption), Q(fileName), Q(filter));
    if (chosen.isEmpty())
        return false;
    fileName = chosen.toStdString();
    return true;
}

bool TQtDialogs::SaveFileName(const std::string& caption, const std::string& filter, std::string& fileName)
{
    QString chosen = QFileDialog::getSaveFileName(ParentWindow(), Q(caption), Q(fileName), Q(filter));
    if (chosen.isEmpty())
        return false;
    fileName = chosen.toStdString();
    return true;
}

void TQtDialogs::ShowError(const std::string& text)
{
    MessageBox(text, ApplicationTitle(), MB_OK | MB_ICONERROR);
}
