#include "pictureview/PictureView.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    quorvanta::PictureView view;
    view.show();
    return application.exec();
}
