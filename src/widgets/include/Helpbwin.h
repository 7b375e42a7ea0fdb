/* The help window of both programs: a small HTML browser over the help
 * pages in $VELORA_HOME/doc/, with Back, Forward and Top buttons.  Each main
 * window makes one at start-up, hidden and without a parent, and shows it
 * from its "Help" action. */
#pragma once

#include <QWidget>

class QSize;

class Helpbwin : public QWidget {
    Q_OBJECT

public:
    /* Whose help: the caption and the start page name the program. */
    enum class Program { Lunder, Mirvek };

    /* Caption "lunder help" or "mirvek help", 600 x 600 pixels; the browser
     * looks up pages in $VELORA_HOME/doc/ ("/doc/" when the variable is
     * unset) and starts at lunder.html or mirvek.html.  When the start page
     * is not there the browser shows one line that says where the pages are
     * looked for. */
    explicit Helpbwin(QWidget *parent = nullptr, const char *name = nullptr, Program program = Program::Lunder);
    ~Helpbwin() override;

    /* The browser shows page of the help folder (the start page stays where
     * "Top" leads); a page that is not there leaves the browser as it was. */
    void showPage(const QString &page);

    /* Shows the window maximised on a desktop narrower or lower than 600
     * pixels, else at its own size.  Without an argument the desktop is the
     * primary screen's virtual desktop. */
    void showOnDesktop(const QSize &desktop);
    void showOnDesktop();
};
