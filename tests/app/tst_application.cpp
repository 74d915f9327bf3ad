// An exception that escapes an event handler is shown and the program carries on.
#include "app/gui/application.h"

#include <QIcon>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace pexumo;

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    // Runs first, while the display is still the program's own.
    void theStandardDisplayIsCaptionedWithTheApplicationsTitle()
    {
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("Pexumo bench 3"));
        const auto restoreName = qScopeGuard([&] { QCoreApplication::setApplicationName(name); });
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        });
        Application::showException(QStringLiteral("Stream write error"));
        QCOMPARE(caption, QStringLiteral("Pexumo bench 3"));
        QCOMPARE(text, QStringLiteral("Stream write error"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void exceptionInHandlerIsShownAndLoopGoesOn()
    {
        QStringList shown;
        Application::exceptionDisplay = [&](const QString& m) { shown << m; };
        QPushButton button;
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] {
            if (++clicks == 1)
                throw std::runtime_error("Cannot create file /x/result.txt");
        });
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(shown, QStringList{QStringLiteral("Cannot create file /x/result.txt")});
        // The next event is handled as usual.
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QCOMPARE(shown.size(), 1);

        // Something that is not a standard exception is shown with an empty message.
        bool fired = false;
        QTimer::singleShot(0, [&] {
            fired = true;
            throw 42;
        });
        QTRY_VERIFY(fired);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.back(), QString());
    }

    // The desktop entry finds the window by these: StartupWMClass=Pexumo on X11 (Qt's window
    // class is the application's name), the desktop file's id on Wayland. The window's icon is the
    // installed icon, drawn crisply at every size a desktop asks for.
    void identifiesItselfToTheDesktop()
    {
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Pexumo"));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.pexumo.Pexumo"));
        const QIcon icon = QApplication::windowIcon();
        QCOMPARE(icon.availableSizes(),
                 (QList<QSize>{
                     {16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
        // Each size has its own rendering in the program's resources.
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QImage image(QStringLiteral(":/icons/%1.png").arg(size));
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(image.pixelColor(size / 2, size * 3 / 4).alpha(), 255); // inside the drop
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);                     // a rounded corner
        }
    }
};

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
