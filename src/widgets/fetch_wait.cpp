#include "fetch_wait.h"

#include "libPromote.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {

void process_window_events()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

namespace widgets {

void repaint_while_fetching()
{
    pro_SetWaitHook(process_window_events);
}

}  // namespace widgets
