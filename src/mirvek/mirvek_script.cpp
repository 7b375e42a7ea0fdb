/* The scripted Mirvek session: see mirvek_script.h. */
#include "mirvek_script.h"

#include "fetch_wait.h"
#include "mirvek.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

namespace {

QString summary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unreadable");
    const QByteArray bytes = file.readAll();
    const QString size = QStringLiteral("%1 bytes").arg(bytes.size());
    if (path.endsWith(QLatin1String(".gif"))) {
        const QImage image(path);
        return image.isNull() ? QStringLiteral("not a GIF picture, ") + size
                              : QStringLiteral("GIF picture %1 x %2 pixels, %3")
                                    .arg(image.width())
                                    .arg(image.height())
                                    .arg(size);
    }
    if (path.endsWith(QLatin1String(".cdf")))
        return (bytes.startsWith("\xCD\xF3\x00\x01") ? QStringLiteral("CDF file, ") : QStringLiteral("no CDF, ")) +
               size;
    const QList<QByteArray> lines = bytes.split('\n');
    int records = 0;
    for (const QByteArray &line : lines)
        records += line.trimmed().endsWith('$') && !line.startsWith('!') && !line.contains('=') ? 1 : 0;
    return QStringLiteral("CEF 2 text, %1 lines, %2 data records, %3").arg(lines.size() - 1).arg(records).arg(size);
}

int press(MirvekBox &box, const char *button, const char *what)
{
    std::printf("--- %s\n", what);
    std::fflush(stdout);
    box.findChild<QPushButton *>(QString::fromLatin1(button))->click();
    for (const QString &file : box.writtenFiles())
        std::printf("%s: %s\n", qPrintable(file), qPrintable(summary(file)));
    std::fflush(stdout);
    return box.writtenFiles().isEmpty() ? 1 : 0;
}

} // namespace

int run_mirvek_session(MirvekBox &box, const QString &outDir)
{
    const QString out = outDir + QLatin1Char('/');
    int failures = 0;

    box.plottype->setCurrentIndex(0);
    box.plot_file_edit->setText(out + QStringLiteral("mirvek_spectrogram"));
    failures += press(box, "Print to File", "Print to File: energy-angle-time spectrogram");
    if (widgets::ending_on_signal())
        return failures;

    box.plottype->setCurrentIndex(1);
    box.plot_file_edit->setText(out + QStringLiteral("mirvek_wheel"));
    failures += press(box, "Print to File", "Print to File: wheel sequence");
    if (widgets::ending_on_signal())
        return failures;

    box.exp_opt->setCurrentIndex(0);
    box.exp_file_edit->setText(out + QStringLiteral("mirvek_data"));
    failures += press(box, "Export", "Export: Ascii Cluster Exchange 2");
    if (widgets::ending_on_signal())
        return failures;

    box.exp_opt->setCurrentIndex(3);
    failures += press(box, "Export", "Export: CDF");
    return failures;
}
