/* lunder: plots azimuthal slices of two sweep sources as one wheel.  The
 * command line goes to the toolkit. */
#include "fetch_wait.h"
#include "lunder.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const std::unique_ptr<LunderBox> box = start_lunder(app);
    return widgets::exit_status(app.exec());
}
