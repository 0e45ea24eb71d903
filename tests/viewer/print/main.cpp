#include <QApplication>

int runFramePrintTests(int argc, char** argv);
int runCupsPrintTests(int argc, char** argv);

int main(int argc, char** argv)
{
    // QPrinter needs the application object for its print support plugin.
    QApplication app(argc, argv);
    int status = runFramePrintTests(argc, argv);
    status |= runCupsPrintTests(argc, argv);
    return status;
}
