// The yardstick of `karnwick`'s start-up: a program that loads Qt's core
// and reads its command line as every karnwick command does, then ends.
// With --no-qt it ends before touching Qt, so it shows what loading the
// library costs even when none of it runs.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "--no-qt") == 0) return 0;
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addVersionOption();
    parser.process(app);
    return 0;
}
