// The option widgets: items, defaults and the meaning of their indices, and
// the cut rows.
#include "option_widgets.h"
#include "widget_values.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QComboBox> make(const QString &kind)
{
    if (kind == "Colours")
        return std::make_unique<Colours>();
    if (kind == "Linesthick")
        return std::make_unique<Linesthick>();
    if (kind == "Linestys")
        return std::make_unique<Linestys>();
    return std::make_unique<Sources>();
}

} // namespace

class OptionWidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void combos_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("current");
        QTest::newRow("Colours") << "Colours"
                                 << QStringList{"White", "Black", "Red", "Green", "Blue", "Cyan", "Magenta",
                                                "Yellow", "Orange", "YellowGreen"}
                                 << 1;
        QTest::newRow("Linesthick") << "Linesthick"
                                    << QStringList{"Thick = 1", "Thick = 2", "Thick = 3", "Thick = 4",
                                                   "Thick = 5", "Thick = 6", "Thick = 7", "Thick = 8",
                                                   "Thick = 9", "Thick = 10"}
                                    << 0;
        QTest::newRow("Linestys") << "Linestys"
                                  << QStringList{"Not-used", "Solid", "Dashed", "DashDot", "Dotted",
                                                 "DashDotDotDot"}
                                  << 1;
        QTest::newRow("Sources") << "Sources"
                                 << QStringList{"None", "Primary", "Shifted Primary", "Mapped Primary",
                                                "Sh then Map Prim", "Secondary", "Shift Secondary",
                                                "Mapped/Secondary", "ShMap/ShSec'ry", "Mapped-Secondary",
                                                "ShMap - ShSec'ry"}
                                 << 0;
    }
    void combos()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, items);
        QFETCH(int, current);
        const auto box = make(kind);
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        QCOMPARE(texts, items);
        QCOMPARE(box->currentIndex(), current);
        QVERIFY(!box->isEditable());
    }

    void sourceNumbers()
    {
        Sources s;
        for (int v = NO_SOURCE; v <= SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY; ++v)
            QCOMPARE(s.itemText(v), QString::fromLatin1(SWEEP_SOURCE_STRING(v)));
        QCOMPARE(s.itemText(MAPPED_OVER_SECONDARY), QStringLiteral("Mapped/Secondary"));
        QCOMPARE(QString::fromLatin1(SWEEP_SOURCE_STRING(11)), QStringLiteral("None"));
    }

    void pangles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("angle");
        QTest::newRow("default") << QString() << 0.0f;
        QTest::newRow("number") << "135.5" << 135.5f;
        QTest::newRow("not a number") << "flow" << 0.0f;
    }
    void pangles()
    {
        QFETCH(QString, text);
        QFETCH(float, angle);
        Pangles p;
        QCOMPARE(p.text(), QStringLiteral("0"));
        if (!text.isNull())
            p.setText(text);
        QCOMPARE(widgets::edit_float(&p), angle);
    }

    void cutRows()
    {
        QWidget parent;
        for (int n = 0; n < 6; ++n) {
            Cuts_Selector row(n, &parent);
            QCOMPARE(row.srclab->text(), QString::number(n));
            QCOMPARE(row.source->currentIndex(), 0);
            QCOMPARE(row.pangle->text(), QStringLiteral("0"));
            QCOMPARE(row.linesty->currentIndex(), 1);
            QCOMPARE(row.colour->currentIndex(), 1);
            QCOMPARE(row.thick->currentIndex(), 0);
            // Stacked top to bottom in the order of the members.
            const QList<QWidget *> order{row.srclab, row.source, row.pangle, row.linesty, row.colour, row.thick};
            for (int i = 0; i < order.size(); ++i)
                QCOMPARE(row.layout()->itemAt(i)->widget(), order[i]);
        }
    }
};

QTEST_MAIN(OptionWidgetsTest)
#include "option_widgets_test.moc"
