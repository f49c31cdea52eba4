// What a PIN costs: setting one (hashing it), a right manager PIN, and a wrong PIN, which is
// checked against both stored hashes (the gate's count of the try, a small file written, is
// not in these). Prints the median and the slowest of 10 runs; the window checks away from its own
// thread, so these are how long the dialog says "Denetleniyor…", never a pause of the clock.
#include "Roles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
void measure(const char *what, const std::function<void()> &step) {
    constexpr int runs = 10;
    QList<qint64> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        step();
        ms << timer.elapsed();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %4lld ms, slowest %4lld ms\n", what, ms.at(runs / 2), ms.last());
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Roles roles(dir.filePath(QStringLiteral("yetkiler.json")));
    roles.setPin(Role::Manager, QStringLiteral("13572468"));
    roles.setPin(Role::Duty, QStringLiteral("2468"));
    measure("duty PIN set (hash + compare)",
            [&] { roles.setPin(Role::Duty, QStringLiteral("2468")); });
    const Roles::Hashes hashes = roles.hashes();
    measure("right manager PIN", [&] { Roles::match(hashes, QStringLiteral("13572468")); });
    measure("wrong PIN (both hashes)", [&] {
        if (Roles::match(hashes, QStringLiteral("1111")) != Role::Viewer)
            std::abort();
    });
    return 0;
}
