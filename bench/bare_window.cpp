// The floor of the whole-program figures: a Qt Widgets window with one label
// and nothing else, started and shown the way the tool's programs are.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare Window");
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel("A bare window", &window));
    window.show();
    return QApplication::exec();
}
