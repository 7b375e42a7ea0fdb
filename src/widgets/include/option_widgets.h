/* The option widgets of Lunder's slice-and-map window: combos of line
 * colours, thicknesses and styles and of the eleven sweep sources, a pitch
 * angle field, and the row that groups one of each into a 1-D cut.  The
 * current item's index is the value that runs and settings files read and
 * write. */
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

class QLabel;

/* The sweep sources of the slice-and-map window; the values are the
 * indices of Sources, the settings values and the slots of the window's
 * source table. */
typedef enum SWEEP_SOURCE_E : int {
    NO_SOURCE = 0,
    PRIMARY = 1,
    SHIFTED_PRIMARY = 2,
    MAPPED_PRIMARY = 3,
    SHIFTED_THEN_MAPPED_PRIMARY = 4,
    SECONDARY = 5,
    SHIFTED_SECONDARY = 6,
    MAPPED_OVER_SECONDARY = 7,
    SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY = 8,
    MAPPED_MINUS_SECONDARY = 9,
    SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY = 10
} SWEEP_SOURCE;

enum { N_SWEEP_SOURCES = 11 };

/* Item text of a sweep source, "None" for a value out of range. */
const char *SWEEP_SOURCE_STRING(int source);

/* Line colour: the PGPLOT colour index of the same number ("White" 0 ..
 * "YellowGreen" 9); "Black" at first. */
class Colours : public QComboBox {
    Q_OBJECT
public:
    explicit Colours(QWidget *parent = nullptr, const char *name = nullptr);
};

/* Line thickness: index + 1, "Thick = 1" at first. */
class Linesthick : public QComboBox {
    Q_OBJECT
public:
    explicit Linesthick(QWidget *parent = nullptr, const char *name = nullptr);
};

/* Line style of the same number ("Solid" 1 .. "DashDotDotDot" 5); index 0
 * "Not-used" gives style 0.  "Solid" at first. */
class Linestys : public QComboBox {
    Q_OBJECT
public:
    explicit Linestys(QWidget *parent = nullptr, const char *name = nullptr);
};

/* A SWEEP_SOURCE_E; "None" at first. */
class Sources : public QComboBox {
    Q_OBJECT
public:
    explicit Sources(QWidget *parent = nullptr, const char *name = nullptr);
};

/* A pitch angle in degrees, "0" at first; text that is no number reads 0. */
class Pangles : public QLineEdit {
    Q_OBJECT
public:
    explicit Pangles(QWidget *parent = nullptr, const char *name = nullptr);
};

/* One 1-D cut, its widgets stacked top to bottom: the row number, the source,
 * the pitch angle, the line style, colour and thickness. */
class Cuts_Selector : public QWidget {
    Q_OBJECT
public:
    explicit Cuts_Selector(int n, QWidget *parent = nullptr, const char *name = nullptr);

    QLabel *srclab;
    Sources *source;
    Pangles *pangle;
    Linestys *linesty;
    Colours *colour;
    Linesthick *thick;
};
