// The yardstick of the start-up benchmark: a bare Qt Widgets window with a
// title, shown at once.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Karnwick Battle Arena"));
    window.resize(684, 543);
    window.show();
    return app.exec();
}
