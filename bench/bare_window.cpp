// The least a Qt program showing a text box does before its window appears: the editor's
// start-up is timed against this.
#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QPlainTextEdit edit;
    edit.resize(401, 303);
    edit.show();
    return QApplication::exec();
}
