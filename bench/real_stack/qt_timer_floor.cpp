// Floor of a timer tick in a Qt program: a bare QApplication on the same
// platform as the window, one coarse timer of the interval given in ms (the
// window's timer type), doing nothing but counting its ticks.
#include "bench/real_stack/counters.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QTimer timer;
    timer.setTimerType(Qt::CoarseTimer);
    timer.setInterval(argc > 1 ? std::atoi(argv[1]) : 50);
    QObject::connect(&timer, &QTimer::timeout,
                     [] { merovane::bench::Count(merovane::bench::Ticks); });
    timer.start();
    return application.exec();
}
