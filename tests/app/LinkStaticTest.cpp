// The link control's colours, its error texts and its opening through the shell seam, and the
// About box that holds two of them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QTest>

#include "QtTestEnvironment.h"
#include "app/CommandLine.h"
#include "views/CAboutBox.h"
#include "views/CLinkStatic.h"

namespace tolvane::test {
namespace {

// Distinct colours for the three roles, so each state shows which one it took.
QPalette TestPalette() {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Link, Qt::red);
    palette.setColor(QPalette::LinkVisited, Qt::darkGreen);
    palette.setColor(QPalette::Highlight, Qt::blue);
    return palette;
}

void Enter(QWidget& widget) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&widget, &enter);
}

void Leave(QWidget& widget) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
}

TEST(LinkStaticTest, TakesTheLinkHoverAndVisitedColoursFromThePalette) {
    UrlRecorder opener;
    QWidget parent;
    parent.setPalette(TestPalette());
    CLinkStatic link("https://miravelt.example/", opener.Function(), &parent);
    EXPECT_EQ(link.TextColor(), QColor(Qt::red));
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.toolTip(), "https://miravelt.example/");
    Enter(link);
    EXPECT_EQ(link.TextColor(), QColor(Qt::blue));
    Leave(link);
    EXPECT_EQ(link.TextColor(), QColor(Qt::red));

    parent.show();
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0], QUrl("https://miravelt.example/"));
    EXPECT_TRUE(link.Visited());
    EXPECT_EQ(link.TextColor(), QColor(Qt::darkGreen));
    Enter(link);
    EXPECT_EQ(link.TextColor(), QColor(Qt::blue));
    Leave(link);
    EXPECT_EQ(link.TextColor(), QColor(Qt::darkGreen));

    // A theme change brings its own link colours.
    QPalette dark = TestPalette();
    dark.setColor(QPalette::LinkVisited, Qt::yellow);
    parent.setPalette(dark);
    EXPECT_EQ(link.TextColor(), QColor(Qt::yellow));
}

TEST(LinkStaticTest, ATargetThatCannotBeOpenedIsReportedAndStaysUnvisited) {
    struct Case {
        QString target;
        QString reason;
    };
    for (const Case& c :
         {Case{"/nonexistent-folder-xyz/bn.html", "The specified path was not found."},
          Case{"/bn-missing.html", "The specified file was not found."},
          Case{"https://miravelt.example/",
               "There is no application associated\nwith the given filename extension."}}) {
        UrlRecorder opener;
        opener.answer = false;
        CLinkStatic link("Manual", opener.Function());
        link.SetUrl(c.target);
        BoxAnswerer boxes;
        boxes.ThenClick(QMessageBox::Ok);
        EXPECT_FALSE(link.OpenLink());
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, "Unable to open hyperlink:\n\n" + c.reason);
        EXPECT_FALSE(link.Visited());
    }
}

TEST(AboutBoxTest, ShowsNameVersionAndWorkingLinks) {
    UrlRecorder opener;
    CAboutBox box(opener.Function());
    EXPECT_EQ(box.windowTitle(), "About Brevorn");
    QStringList texts;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        texts << label->text();
    }
    // The version `tolvane --version` prints.
    const QString version = QString::fromStdString(VersionText()).section(u' ', 1).trimmed();
    EXPECT_TRUE(texts.contains("Brevorn for Linux")) << qPrintable(texts.join('|'));
    EXPECT_TRUE(texts.contains("Version information: Brevorn " + version));
    EXPECT_EQ(box.HomePageLink()->text(), "https://miravelt.example/");
    EXPECT_EQ(box.MailLink()->text(), "support@miravelt.example");
    EXPECT_TRUE(box.MailLink()->OpenLink());
    EXPECT_TRUE(box.HomePageLink()->OpenLink());
    ASSERT_EQ(opener.opened.size(), 2u);
    EXPECT_EQ(opener.opened[0].toString(), "mailto:support@miravelt.example");
    EXPECT_EQ(opener.opened[1].toString(), "https://miravelt.example/");
    // Fitted to its text: a click beside it is no click on it.
    box.show();
    EXPECT_EQ(box.MailLink()->width(), box.MailLink()->sizeHint().width());
}

}  // namespace
}  // namespace tolvane::test
