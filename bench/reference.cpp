// The yardstick for the front end's start-up and memory: a bare window of the same
// fixed size holding one text box, and nothing else of the program.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("tarnwick bench reference"));
    window.setFixedSize(237, 254);
    auto *edit = new QLineEdit(&window);
    edit->setGeometry(8, 72, 217, 25);
    edit->setFocus();
    window.show();
    return app.exec();
}
