/* The dialog between the wheels of a sequence on the X window. */
#include "wheel_pager.h"

#include <QMessageBox>
#include <QPushButton>

#include <unistd.h>

#include <utility>

namespace mirvek {

namespace {

NextWheelAnswer &answer_hook()
{
    static NextWheelAnswer answer;
    return answer;
}

} // namespace

bool wheels_wait_in_window()
{
    if (answer_hook())
        return true;
    /* PGPLOT's prompt needs a terminal the program may read: its standard
     * input, with the program in the foreground (a job started with "&"
     * would be stopped by the read). */
    return isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp();
}

bool ask_next_wheel(QWidget *parent, const QString &source, int shown, int total, bool last)
{
    if (answer_hook())
        return answer_hook()(source, shown, total, last);
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("wheel_dialog"));
    box.setWindowTitle(QStringLiteral("Wheel Sequence"));
    box.setIcon(QMessageBox::NoIcon);
    const QString place = last ? QStringLiteral(", the last,") : QString();
    box.setText(QStringLiteral("%1: wheel %2 of %3%4 is on the X window.").arg(source).arg(shown).arg(total).arg(place));
    QPushButton *next = nullptr;
    if (!last) {
        next = box.addButton(QStringLiteral("Next Wheel"), QMessageBox::AcceptRole);
        next->setObjectName(QStringLiteral("next_wheel"));
    }
    QPushButton *stop = box.addButton(last ? QStringLiteral("Done") : QStringLiteral("Stop"), QMessageBox::RejectRole);
    stop->setObjectName(QStringLiteral("stop"));
    box.setDefaultButton(next != nullptr ? next : stop);
    box.setEscapeButton(stop);
    box.exec();
    return next != nullptr && box.clickedButton() == next;
}

void set_next_wheel_answer(NextWheelAnswer answer)
{
    answer_hook() = std::move(answer);
}

} // namespace mirvek
