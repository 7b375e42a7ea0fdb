/* The option widgets of the slice-and-map window. */
#include "option_widgets.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

const char *const kColours[] = {"White", "Black",   "Red",    "Green",  "Blue",
                                "Cyan",  "Magenta", "Yellow", "Orange", "YellowGreen"};
const char *const kStyles[] = {"Not-used", "Solid", "Dashed", "DashDot", "Dotted", "DashDotDotDot"};
const char *const kSources[N_SWEEP_SOURCES] = {
    "None",      "Primary",         "Shifted Primary",  "Mapped Primary", "Sh then Map Prim",  "Secondary",
    "Shift Secondary", "Mapped/Secondary", "ShMap/ShSec'ry", "Mapped-Secondary", "ShMap - ShSec'ry"};

template <size_t N>
void fill(QComboBox *combo, const char *const (&items)[N], const char *name)
{
    if (name != nullptr)
        combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(false);
    for (const char *item : items)
        combo->addItem(QString::fromLatin1(item));
}

} // namespace

const char *SWEEP_SOURCE_STRING(int source)
{
    return source >= 0 && source < N_SWEEP_SOURCES ? kSources[source] : kSources[NO_SOURCE];
}

Colours::Colours(QWidget *parent, const char *name) : QComboBox(parent)
{
    fill(this, kColours, name);
    setCurrentIndex(1);
}

Linesthick::Linesthick(QWidget *parent, const char *name) : QComboBox(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    for (int thick = 1; thick <= 10; ++thick)
        addItem(QStringLiteral("Thick = %1").arg(thick));
    setCurrentIndex(0);
}

Linestys::Linestys(QWidget *parent, const char *name) : QComboBox(parent)
{
    fill(this, kStyles, name);
    setCurrentIndex(1);
}

Sources::Sources(QWidget *parent, const char *name) : QComboBox(parent)
{
    fill(this, kSources, name);
}

Pangles::Pangles(QWidget *parent, const char *name) : QLineEdit(QStringLiteral("0"), parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
}

Cuts_Selector::Cuts_Selector(int n, QWidget *parent, const char *name) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    srclab = new QLabel(this);
    srclab->setNum(n);
    source = new Sources(this);
    pangle = new Pangles(this);
    linesty = new Linestys(this);
    colour = new Colours(this);
    thick = new Linesthick(this);
    for (QWidget *w : std::initializer_list<QWidget *>{srclab, source, pangle, linesty, colour, thick})
        layout->addWidget(w);
}
