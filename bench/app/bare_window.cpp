// The yardsticks of the start-up benchmark: a bare Qt Widgets window with a
// title, shown at once; with --text it also shows one line of text, so it
// starts the font system as any window with a caption must (on the offscreen
// platform an empty window never does, on a desktop the theme does).

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Karnwick Battle Arena"));
    window.resize(684, 543);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        new QLabel(QStringLiteral("Monster One"), &window);
    window.show();
    return app.exec();
}
