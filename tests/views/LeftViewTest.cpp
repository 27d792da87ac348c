#include "views/CLeftView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <set>

#include "QtTestEnvironment.h"

namespace tolvane {
namespace {

QImage BannerShown(const CLeftView& view) {
    return view.BannerButton()
        ->icon()
        .pixmap(CLeftView::kBannerWidth, CLeftView::kBannerHeight)
        .toImage();
}

class LeftViewTest : public testing::Test {
protected:
    void SetUp() override {
        m_view.SetOpenUrl(m_urls.Function());
        m_view.resize(288, 600);
        m_view.show();
    }

    CLeftView m_view;
    test::UrlRecorder m_urls;
};

struct StripCase {
    bool tree, banner, hint;
    bool bannerVisible, hintVisible;
};

TEST_F(LeftViewTest, SetupShowsOneControlAndTheStripItsFlagsAskFor) {
    const StripCase cases[] = {
        {true, true, true, false, true},    {true, true, false, true, false},
        {false, false, true, false, false}, {false, false, false, false, false},
        {false, true, false, true, false},
    };
    for (const StripCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tree << c.banner << c.hint);
        m_view.Setup(c.tree, c.banner, c.hint);
        EXPECT_EQ(m_view.Tree()->isVisible(), c.tree);
        EXPECT_EQ(m_view.List()->isVisible(), !c.tree);
        EXPECT_EQ(m_view.BannerButton()->isVisible(), c.bannerVisible);
        EXPECT_EQ(m_view.Hint()->isVisible(), c.hintVisible);
        QWidget* control = c.tree ? static_cast<QWidget*>(m_view.Tree()) : m_view.List();
        EXPECT_EQ(control->height(), 600 - (c.banner ? CLeftView::kStripHeight : 0));
        EXPECT_EQ(control->width(), 288);
    }
    m_view.Setup(false, true, false);
    EXPECT_EQ(m_view.BannerButton()->geometry(), QRect((288 - 184) / 2, 509, 184, 84));
    EXPECT_TRUE(m_view.Hint()->text().startsWith("Select file or folder in the left window"));
}

// A click opens the page of the banner shown; there are four pages, all on the home site.
TEST_F(LeftViewTest, BannerRotatesEveryTwelveSecondsAndAClickOpensItsPage) {
    m_view.Setup(true, true, false);
    EXPECT_EQ(m_view.RotationTimer().interval(), 12000);
    EXPECT_TRUE(m_view.RotationTimer().isActive());
    const QImage first = BannerShown(m_view);
    ASSERT_FALSE(first.isNull());
    std::set<QString> pages;
    for (int tick = 1; tick <= 4; ++tick) {
        m_view.RotateBanner();
        EXPECT_EQ(m_view.BannerIndex(), tick % 4);
        EXPECT_EQ(BannerShown(m_view) == first, tick == 4) << tick;
        m_view.BannerButton()->click();
        ASSERT_EQ(m_urls.opened.size(), std::size_t(tick));
        EXPECT_EQ(m_urls.opened.back(), CLeftView::BannerAddress(tick % 4));
        EXPECT_EQ(m_urls.opened.back().host(), "miravelt.example");
        pages.insert(m_urls.opened.back().toString());
    }
    EXPECT_EQ(pages.size(), 4u);
}

TEST_F(LeftViewTest, TreeNotificationsGiveTheTreeTheFocusAndAreForwarded) {
    m_view.Setup(true, true, true);
    auto* item = new QTreeWidgetItem(m_view.Tree(), {"home"});
    new QTreeWidgetItem(item, {"me"});
    std::vector<QTreeWidgetItem*> selected;
    QObject::connect(&m_view, &CLeftView::TreeSelectionChanged,
                     [&](QTreeWidgetItem* current) { selected.push_back(current); });
    QSignalSpy expanding(&m_view, &CLeftView::TreeItemExpanding);
    QSignalSpy doubleClicked(&m_view, &CLeftView::DoubleClicked);
    m_view.Tree()->setCurrentItem(item);
    item->setExpanded(true);
    emit m_view.Tree()->itemDoubleClicked(item, 0);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0], item);
    EXPECT_EQ(expanding.count(), 1);
    EXPECT_EQ(doubleClicked.count(), 1);
    EXPECT_EQ(m_view.focusWidget(), m_view.Tree());  // the view's focus child
}

}  // namespace
}  // namespace tolvane
