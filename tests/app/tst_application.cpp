// An exception that escapes an event handler is shown and the program carries on.
#include "app/gui/application.h"

#include <QMessageBox>
#include <QPushButton>
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
        QCoreApplication::setApplicationName(QStringLiteral("Pexumo bench 3"));
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
};

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
