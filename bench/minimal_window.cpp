// The yardstick for start-up time: the smallest Qt widgets program that shows one window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Minimal Window");
    window.resize(342, 340);
    window.show();
    return QApplication::exec();
}
