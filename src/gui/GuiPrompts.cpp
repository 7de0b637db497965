// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/GuiPrompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QWidget* owner()
{
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    return w;
}

} // namespace

Prompts::Button GuiPrompts::Message(const QString& text, const QString& title, int buttons, Icon icon)
{
    QMessageBox box(owner());
    box.setWindowTitle(title);
    // Texts may end their lines with a bare CR, which a label would draw as a space.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    box.setText(shown);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    struct Choice
    {
        Button button;
        const char16_t* caption;
        QMessageBox::ButtonRole role;
    };
    static const Choice choices[] = {
        {Ok, u"ОК", QMessageBox::AcceptRole},
        {Yes, u"Да", QMessageBox::YesRole},
        {No, u"Нет", QMessageBox::NoRole},
        {Retry, u"Повторить", QMessageBox::AcceptRole},
        {Discard, u"Закрыть без сохранения", QMessageBox::DestructiveRole},
        {Cancel, u"Отмена", QMessageBox::RejectRole},
    };
    QList<std::pair<QAbstractButton*, Button>> made;
    for (const Choice& c : choices) {
        if (buttons & c.button) made.append({box.addButton(QString::fromUtf16(c.caption), c.role), c.button});
    }
    if (!made.isEmpty()) box.setDefaultButton(qobject_cast<QPushButton*>(made.first().first));
    if (buttons & DefaultNo)
        for (const auto& [w, btn] : made)
            if (btn == No) box.setDefaultButton(qobject_cast<QPushButton*>(w));
    // Escape or the close box: the gentlest answer offered.
    for (Button b : {Cancel, No, Ok})
        for (const auto& [w, btn] : made)
            if (btn == b && !box.escapeButton()) box.setEscapeButton(w);
    box.exec();
    for (const auto& [w, btn] : made)
        if (box.clickedButton() == w) return btn;
    return (buttons & Cancel) ? Cancel : (buttons & No) ? No : Ok;
}

std::optional<QString> GuiPrompts::Input(const QString& prompt, const QString& title, const QString& initial)
{
    QInputDialog dlg(owner());
    dlg.setWindowTitle(title);
    dlg.setLabelText(prompt);
    dlg.setTextValue(initial);
    dlg.setOkButtonText(QStringLiteral("ОК"));
    dlg.setCancelButtonText(QStringLiteral("Отмена"));
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.textValue();
}
