// The bookmark and history store: history records, ordering, folders and
// their edits, look-ups that hand out copies, and the stored property list.

#include "data/DataTest.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"

namespace datatest {
namespace {

using tolva::VeskBookmarkDatabase;

long countOf(const kit::Dictionary* d) {
  auto* n = d ? d->get<kit::Number>("visit_count") : nullptr;
  return n ? n->integerValue() : 0;
}

std::string counts(const kit::Array* items) {
  std::string out;
  for (size_t i = 0; i < items->count(); ++i)
    out += (i ? "," : "") + std::to_string(countOf(items->get<kit::Dictionary>(i)));
  return out;
}

class BookmarkDatabaseTest : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    startEmpty();
  }
  // Records `url` until it has `n` visits, each one 3 s after the last.
  static void visit(const std::string& url, int n, const std::string& title = "page") {
    for (int i = 0; i < n; ++i) {
      db()->addItemAtHistory(title, url);
      kit::Clock::advance(3);
    }
  }
};

TEST_F(BookmarkDatabaseTest, ARepeatWithinTwoSecondsIsNotCountedAgainALaterOneMovesTheEntryUp) {
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateHistoryNotification);
  db()->addItemAtHistory("A", "http://a.test/");
  db()->addItemAtHistory("B", "http://b.test/");
  kit::Clock::advance(1.9);
  db()->addItemAtHistory("B again", "http://b.test/");
  ASSERT_EQ(history()->count(), 2u);
  EXPECT_EQ(field(history()->get<kit::Dictionary>(0), "title"), "B again");
  EXPECT_EQ(countOf(history()->get<kit::Dictionary>(0)), 1);
  EXPECT_EQ(posts.n, 3);

  kit::Clock::advance(2.1);
  db()->addItemAtHistory("A", "http://a.test/");
  ASSERT_EQ(history()->count(), 2u);
  EXPECT_EQ(field(history()->get<kit::Dictionary>(0), "url"), "http://a.test/");
  EXPECT_EQ(countOf(history()->get<kit::Dictionary>(0)), 2);
  auto* last = history()->get<kit::Dictionary>(0)->get<kit::Date>("last_visit");
  ASSERT_TRUE(last);
  EXPECT_DOUBLE_EQ(last->timeIntervalSinceReferenceDate(), kit::Clock::now());

  // An empty title or URL records nothing and posts nothing.
  db()->addItemAtHistory("", "http://c.test/");
  db()->addItemAtHistory("C", "");
  EXPECT_EQ(history()->count(), 2u);
  EXPECT_EQ(posts.n, 4);
}

TEST_F(BookmarkDatabaseTest, TheHistoryKeepsTheNewestFiveHundred) {
  for (int i = 0; i < 501; ++i) db()->addItemAtHistory("p", "http://h.test/" + std::to_string(i));
  kit::Ref<kit::Array> h = history();
  ASSERT_EQ(h->count(), 500u);
  EXPECT_EQ(field(h->get<kit::Dictionary>(0), "url"), "http://h.test/500");
  EXPECT_EQ(field(h->get<kit::Dictionary>(499), "url"), "http://h.test/1");
}

TEST_F(BookmarkDatabaseTest, WithoutAHistoryFolderNothingIsRecordedButTheChangeIsAnnounced) {
  db()->setBookmark(kit::MutableArray::array());
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateHistoryNotification);
  db()->addItemAtHistory("A", "http://a.test/");
  EXPECT_EQ(posts.n, 1);
  EXPECT_EQ(db()->bookmark()->count(), 0u);
}

TEST_F(BookmarkDatabaseTest, CountsOfFiveAndMoreComeFirstThenBookmarksThenFewerVisits) {
  visit("http://one.test/", 1);
  visit("http://seven.test/", 7);
  visit("http://five.test/", 5);
  visit("http://four.test/", 4);
  EXPECT_EQ(counts(db()->getTop50().get()), "7,5,4,1");

  db()->addItem("Test bookmark", "http://bookmark.test/", nullptr);
  kit::Ref<kit::Array> found = db()->find(".test", nullptr, false);
  EXPECT_EQ(counts(found.get()), "7,5,0,4,1");
  EXPECT_EQ(field(found->get<kit::Dictionary>(2), "url"), "http://bookmark.test/");

  kit::Ref<kit::Dictionary> a(new kit::Dictionary({{"visit_count", kit::Number::numberWithInt(3)}}));
  kit::Ref<kit::Dictionary> b(new kit::Dictionary({{"visit_count", kit::Number::numberWithInt(3)}}));
  kit::Ref<kit::Dictionary> none(new kit::Dictionary());
  EXPECT_EQ(VeskBookmarkDatabase::compareBookmarkItemsByVisitCount(a.get(), b.get()), 0);
  EXPECT_EQ(VeskBookmarkDatabase::compareBookmarkItemsByVisitCount(none.get(), a.get()), -1);
  EXPECT_EQ(VeskBookmarkDatabase::compareBookmarkItemsByVisitCount(a.get(), none.get()), 1);
}

TEST_F(BookmarkDatabaseTest, TopFiftyTakesTheMostRecentFifty) {
  visit("http://old.test/", 9);
  for (int i = 0; i < 50; ++i) db()->addItemAtHistory("p", "http://n.test/" + std::to_string(i));
  kit::Ref<kit::Array> top = db()->getTop50();
  ASSERT_EQ(top->count(), 50u);
  EXPECT_EQ(counts(top.get()).find('9'), std::string::npos);
}

TEST_F(BookmarkDatabaseTest, FindMatchesURLsIgnoringCaseAndTitlesOnlyWhenAsked) {
  db()->addItem("Recipes", "http://food.test/", path({"Deep", "Er"}));
  db()->addItem("", "http://untitled.test/", nullptr);  // refused: no title
  db()->addItemAtHistory("Cooking", "http://FOOD.test/page");
  EXPECT_EQ(db()->find("food", nullptr, false)->count(), 2u);
  EXPECT_EQ(db()->find("recipe", nullptr, false)->count(), 0u);
  EXPECT_EQ(db()->find("RECIPE", nullptr, true)->count(), 1u);
  EXPECT_EQ(db()->find("food", path({"Deep"}), false)->count(), 1u);
  EXPECT_EQ(db()->find("untitled", nullptr, true)->count(), 0u);
  EXPECT_EQ(db()->find("food", path({"Missing"}), false)->count(), 0u);
}

TEST_F(BookmarkDatabaseTest, AnswersAreCopiesThatLaterEditsLeaveAlone) {
  db()->addItem("Keep", "http://keep.test/", nullptr);
  db()->addFolder("F", nullptr);
  db()->addItem("Inside", "http://inside.test/", path({"F"}));
  kit::Ref<kit::Array> found = db()->find("keep", nullptr, false);
  kit::Ref<kit::Dictionary> item = db()->getItemAt(0, true, nullptr);
  kit::Ref<kit::Dictionary> folder = db()->getItemAt(1, false, nullptr);
  kit::Ref<kit::Array> tree = db()->bookmark();
  kit::Ref<kit::Array> current = db()->currentPath();
  db()->stepIn("F");
  db()->addItem("More", "http://more.test/");
  db()->gotoRoot();
  db()->renameItem(2, "Renamed");
  db()->updateUrlAt(2, "http://changed.test/");
  EXPECT_EQ(field(found->get<kit::Dictionary>(0), "title"), "Keep");
  EXPECT_EQ(field(item.get(), "url"), "http://keep.test/");
  EXPECT_FALSE(item->isMutable());
  EXPECT_EQ(folder->get<kit::Array>("subitems")->count(), 1u);
  EXPECT_EQ(tree->count(), 3u);
  EXPECT_EQ(current->count(), 0u);
  EXPECT_EQ(field(db()->getItemAt(0, true, nullptr).get(), "title"), "Renamed");
}

TEST_F(BookmarkDatabaseTest, ItemsAreCountedAndFetchedWithAndWithoutFolders) {
  db()->addItem("b1", "http://1.test/", nullptr);
  db()->addFolder("F", nullptr);
  db()->addItem("b2", "http://2.test/", nullptr);
  EXPECT_EQ(titlesAt({}), "History,F,b1,b2");
  EXPECT_EQ(db()->folderItemCount(nullptr), 2u);
  EXPECT_EQ(db()->nonFolderItemCount(nullptr), 2u);
  EXPECT_EQ(field(db()->getItemAt(0, true, nullptr).get(), "title"), "b1");
  EXPECT_EQ(field(db()->getItemAt(1, true, nullptr).get(), "title"), "b2");
  EXPECT_FALSE(db()->getItemAt(2, true, nullptr));
  EXPECT_EQ(field(db()->getItemAt(3, false, nullptr).get(), "title"), "b2");
  EXPECT_FALSE(db()->getItemAt(4, false, nullptr));
  EXPECT_FALSE(db()->getItemAt(0, false, path({"Nowhere"})));
  EXPECT_EQ(db()->currentItemCount(), 4u);
  EXPECT_EQ(db()->currentNonFolderItemCount(), 2u);
  EXPECT_EQ(db()->itemNameAt(1), "F");
  EXPECT_EQ(db()->folderItemCount(path({"F"})), 0u);
  EXPECT_EQ(db()->nonFolderItemCount(path({"Nowhere"})), 0u);
  EXPECT_EQ(db()->folderItemCount(path({"Nowhere"})), 0u);
}

TEST_F(BookmarkDatabaseTest, AddingToAMissingPathMakesEachFolderOnTheWay) {
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateNotification);
  db()->addItem("Deep", "http://deep.test/", path({"A", "B", "C"}));
  EXPECT_EQ(posts.n, 4);
  EXPECT_EQ(titlesAt({"A", "B", "C"}), "Deep");
  EXPECT_EQ(titlesAt({}), "History,A");
  db()->addItem("Top", "http://top.test/", path({"A"}));
  EXPECT_EQ(titlesAt({"A"}), "B,Top");
  // Nothing is added without a title or URL.
  db()->addItem("No URL", "", path({"X"}));
  EXPECT_EQ(db()->getFolder(path({"X"})), nullptr);
}

TEST_F(BookmarkDatabaseTest, FoldersGoAfterTheLeadingFoldersAndAnExactDuplicateIsRefused) {
  db()->addItem("b", "http://b.test/", nullptr);
  EXPECT_TRUE(db()->addFolder("Work", nullptr));
  EXPECT_TRUE(db()->addFolder("work", nullptr));  // exact match only
  EXPECT_FALSE(db()->addFolder("Work", nullptr));
  EXPECT_FALSE(db()->addFolder("x", path({"Missing"})));
  EXPECT_EQ(titlesAt({}), "History,Work,work,b");
  db()->stepIn("Work");
  EXPECT_TRUE(db()->addFolder("Sub"));
  EXPECT_EQ(db()->currentFolderName(), "Work");
  EXPECT_EQ(titles(db()->currentFolder().get()), "Sub");
  db()->stepOut();
  db()->stepOut();
  EXPECT_TRUE(db()->root());
  EXPECT_EQ(db()->currentFolderName(), "Bookmarks");
}

TEST_F(BookmarkDatabaseTest, RenamingAFolderToAnotherFoldersNameInAnyCaseIsRefusedWithTheAlert) {
  db()->addFolder("News", nullptr);
  db()->addFolder("Mail", nullptr);
  db()->addItem("Bookmark", "http://b.test/", nullptr);
  db()->renameItem(2, "NEWS");  // Mail → NEWS
  kit::AlertView* alert = kit::AlertView::topVisibleAlert();
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->title(), "");
  EXPECT_EQ(alert->message(), "Failed to rename folder. Same folder name already exists.");
  EXPECT_EQ(alert->buttonTitleAtIndex(0), "Cancel");
  alert->tapButton(0);
  EXPECT_EQ(titlesAt({}), "History,News,Mail,Bookmark");
  db()->renameItem(2, "MAIL");  // its own name in another case is fine
  db()->renameItem(3, "News");  // bookmarks are not checked
  EXPECT_FALSE(kit::AlertView::topVisibleAlert());
  EXPECT_EQ(titlesAt({}), "History,News,MAIL,News");
}

TEST_F(BookmarkDatabaseTest, CaseIsIgnoredInEveryScriptNotOnlyInASCII) {
  db()->addFolder("über", nullptr);
  db()->addFolder("Mail", nullptr);
  db()->renameItem(2, "ÜBER");  // Mail → ÜBER
  kit::AlertView* alert = kit::AlertView::topVisibleAlert();
  ASSERT_TRUE(alert);
  alert->tapButton(0);
  EXPECT_EQ(titlesAt({}), "History,über,Mail");
  // Found from the root (through the index) and within a folder (by a walk).
  db()->addItem("Über Москву", "http://xn--e1afmkfd.test/", path({"über"}));
  for (const char* typed : {"über", "ÜBER", "москв"}) {
    SCOPED_TRACE(typed);
    EXPECT_EQ(db()->find(typed, nullptr, true)->count(), 1u);
    EXPECT_EQ(db()->find(typed, path({"über"}), true)->count(), 1u);
  }
}

TEST_F(BookmarkDatabaseTest, DeleteMoveAndSwapIgnoreIndexesOutsideTheFolder) {
  for (const char* t : {"a", "b", "c"}) db()->addItem(t, std::string("http://") + t + ".test/", nullptr);
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateNotification);
  db()->moveItemTo(1, 3);
  EXPECT_EQ(titlesAt({}), "History,b,c,a");
  db()->swapItemAt(1, 2);
  EXPECT_EQ(titlesAt({}), "History,c,b,a");
  db()->deleteItemAt(3);
  EXPECT_EQ(titlesAt({}), "History,c,b");
  EXPECT_EQ(posts.n, 3);
  db()->moveItemTo(0, 3);
  db()->moveItemTo(3, 0);
  db()->swapItemAt(0, 3);
  db()->deleteItemAt(3);
  EXPECT_EQ(titlesAt({}), "History,c,b");
  EXPECT_EQ(posts.n, 3);
  db()->updateUrlAt(1, "http://new.test/");
  EXPECT_EQ(field(db()->getItemAt(1).get(), "url"), "http://new.test/");
}

TEST_F(BookmarkDatabaseTest, MovingAFolderTakesItsContentsAndRefusesDuplicatesAndItsOwnSubtree) {
  db()->addItem("in A", "http://a.test/", path({"A", "A1"}));
  db()->addItem("b", "http://b.test/", path({"B"}));
  db()->addFolder("A1", path({"B"}));

  EXPECT_FALSE(db()->moveFolderFrom(path({"A", "A1"}), path({"B"}), ""));  // B has an A1
  EXPECT_FALSE(db()->moveFolderFrom(path({"A"}), path({"A"}), "A2"));      // into itself
  EXPECT_FALSE(db()->moveFolderFrom(path({"A"}), path({"A", "A1"}), ""));  // below itself
  EXPECT_FALSE(db()->moveFolderFrom(path({}), path({"B"}), "Root"));
  EXPECT_FALSE(db()->moveFolderFrom(path({"Gone"}), path({"B"}), ""));
  EXPECT_EQ(titlesAt({"A", "A1"}), "in A");
  EXPECT_EQ(titlesAt({"B"}), "A1,b");

  Counter posts(tolva::kVeskBookmarkDatabaseUpdateNotification);
  EXPECT_TRUE(db()->moveFolderFrom(path({"A", "A1"}), path({"B"}), "Moved"));
  EXPECT_GE(posts.n, 1);
  EXPECT_EQ(titlesAt({"B"}), "A1,Moved,b");
  EXPECT_EQ(titlesAt({"B", "Moved"}), "in A");
  EXPECT_EQ(titlesAt({"A"}), "");
  // Renaming in place goes the same way and ends last among the folders.
  EXPECT_TRUE(db()->moveFolderFrom(path({"B", "A1"}), path({"B"}), "Z"));
  EXPECT_EQ(titlesAt({"B"}), "Moved,Z,b");
}

TEST_F(BookmarkDatabaseTest, RemovingAFolderLooksOnlyAtTheLeadingFolders) {
  db()->addFolder("F", nullptr);
  db()->removeFolderAtPath(path({}));
  db()->removeFolderAtPath(path({"Nope"}));
  db()->removeFolderAtPath(path({"Nope", "F"}));
  EXPECT_EQ(titlesAt({}), "History,F");
  db()->removeFolderAtPath(path({"F"}));
  EXPECT_EQ(titlesAt({}), "History");
}

TEST_F(BookmarkDatabaseTest, TheFolderListLeavesHistoryOutAndIndentsByDepth) {
  db()->addFolder("A", nullptr);
  db()->addFolder("B", nullptr);
  db()->addFolder("A1", path({"A"}));
  db()->addFolder("A11", path({"A", "A1"}));
  db()->addItem("b", "http://b.test/", path({"A"}));
  kit::Ref<kit::MutableArray> list = db()->extractFoldersAt(nullptr, 0);
  std::string got;
  for (size_t i = 0; i < list->count(); ++i) {
    auto* e = list->get<kit::Dictionary>(i);
    got += field(e, "title") + ":" + std::to_string(e->get<kit::Number>("depth")->intValue()) + ":" +
           std::to_string(e->get<kit::Array>("path")->count()) + " ";
  }
  EXPECT_EQ(got, "A:0:1 A1:1:2 A11:2:3 B:0:1 ");
  EXPECT_EQ(db()->extractFoldersAt(path({"A"}), 5)->count(), 2u);

  db()->setBookmark(kit::MutableArray::array());
  EXPECT_EQ(db()->extractFoldersAt(nullptr, 0)->count(), 0u);
}

TEST_F(BookmarkDatabaseTest, PathsCompareByLengthThenTitles) {
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(nullptr, path({})), 0);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({}), path({"a"})), 1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a"}), nullptr), -1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a"}), path({"a", "b"})), -1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a", "b"}), path({"a"})), 1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a", "b"}), path({"a", "c"})), -1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a", "c"}), path({"a", "b"})), 1);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(path({"a", "b"}), path({"a", "b"})), 0);
  EXPECT_TRUE(VeskBookmarkDatabase::Path(path({"a", "b"}), path({"a"})));
  EXPECT_TRUE(VeskBookmarkDatabase::Path(path({"a"}), path({"a"})));
  EXPECT_TRUE(VeskBookmarkDatabase::Path(path({"a"}), nullptr));
  EXPECT_FALSE(VeskBookmarkDatabase::Path(path({"a"}), path({"a", "b"})));
  EXPECT_FALSE(VeskBookmarkDatabase::Path(path({"b", "a"}), path({"a"})));
}

TEST_F(BookmarkDatabaseTest, ClearingTheHistoryEmptiesOnlyTheHistory) {
  db()->addItem("b", "http://b.test/", nullptr);
  visit("http://a.test/", 2);
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateHistoryNotification);
  db()->clearHistory();
  EXPECT_EQ(posts.n, 1);
  EXPECT_EQ(history()->count(), 0u);
  EXPECT_EQ(titlesAt({}), "History,b");
}

TEST_F(BookmarkDatabaseTest, TheImportedFolderIsMadeOnceAtTheRoot) {
  kit::Ref<kit::Array> first = db()->makeImportedFolder();
  kit::Ref<kit::Array> second = db()->makeImportedFolder();
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(first, path({"Imported"})), 0);
  EXPECT_EQ(VeskBookmarkDatabase::comparePath(second, first), 0);
  EXPECT_EQ(titlesAt({}), "History,Imported");
}

TEST_F(BookmarkDatabaseTest, ABatchAnnouncesItsEditsOnceAndTheStoreOnlyAtItsEnd) {
  Counter posts(tolva::kVeskBookmarkDatabaseUpdateNotification);
  {
    VeskBookmarkDatabase::Batch outer(*db());
    {
      VeskBookmarkDatabase::Batch inner(*db());
      db()->addItem("a", "http://a.test/", path({"F", "G"}));
    }
    db()->addItem("b", "http://b.test/", nullptr);
    EXPECT_EQ(posts.n, 0);
  }
  EXPECT_EQ(posts.n, 1);
  { VeskBookmarkDatabase::Batch idle(*db()); }
  EXPECT_EQ(posts.n, 1);
}

// ---- Stored form

class BookmarkStorageTest : public DataTest {};

TEST_F(BookmarkStorageTest, AMissingOrEmptyValueLoadsTheDefaultTreeWithHistoryFirst) {
  kit::Ref<kit::Array> tree = db()->bookmark();
  ASSERT_GE(tree->count(), 2u);
  EXPECT_EQ(field(tree->get<kit::Dictionary>(0), "title"), "History");
  EXPECT_FALSE(tree->get<kit::Dictionary>(0)->objectForKey("url"));

  db()->resetForTesting();
  defaults().setObject(kit::Array::array(), "bookmark");
  EXPECT_EQ(db()->bookmark()->count(), tree->count());
}

TEST_F(BookmarkStorageTest, TheTreeRoundTripsThroughUserDefaultsAndTheFile) {
  startEmpty();
  db()->addItem("Kept", "http://kept.test/", path({"Folder"}));
  db()->addItemAtHistory("Seen", "http://seen.test/");
  db()->saveStatus();
  kit::Ref<kit::Array> saved = defaults().arrayForKey("bookmark");
  ASSERT_TRUE(saved);
  EXPECT_TRUE(kit::isEqual(saved.get(), db()->bookmark().get()));
  ASSERT_TRUE(defaults().synchronize());

  // A fresh process: the file is read again.
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  db()->resetForTesting();
  EXPECT_EQ(titlesAt({"Folder"}), "Kept");
  ASSERT_EQ(history()->count(), 1u);
  EXPECT_EQ(countOf(history()->get<kit::Dictionary>(0)), 1);
  // What was loaded can be edited: the containers are mutable again.
  db()->addItem("More", "http://more.test/", path({"Folder"}));
  EXPECT_EQ(titlesAt({"Folder"}), "Kept,More");
}

// A save copies only the root items changed since the last one (the rest is
// handed to user defaults as the same objects): every kind of edit must
// still reach the next save, and a visit must leave the other items shared.
TEST_F(BookmarkStorageTest, EveryEditReachesTheNextSaveWhichSharesTheItemsLeftAlone) {
  startEmpty();
  db()->addItem("One", "http://one.test/", path({"A", "Deep"}));
  db()->addItem("Two", "http://two.test/", path({"B"}));
  db()->addItem("Root", "http://root.test/", nullptr);
  auto saved = [] { return defaults().arrayForKey("bookmark"); };
  auto check = [&](const char* edit) {
    db()->saveStatus();
    EXPECT_TRUE(kit::isEqual(saved().get(), db()->bookmark().get())) << "after " << edit;
  };
  check("adding");
  kit::Ref<kit::Array> before = saved();
  db()->addItemAtHistory("Seen", "http://seen.test/");
  check("a visit");
  for (size_t i = 1; i < before->count(); ++i)
    EXPECT_EQ(saved()->objectAtIndex(i), before->objectAtIndex(i)) << "root item " << i << " was copied again";

  db()->addFolder("Bare", path({"B"}));
  check("a folder");
  db()->folderItemCount(path({"B", "Bare"}));  // a look-up gives the bare folder its empty item list
  check("a look-up");
  db()->gotoRoot();
  db()->renameItem(3, "Root renamed");
  check("renaming at the root");
  db()->updateUrlAt(3, "http://moved.test/");
  check("a new address at the root");
  db()->stepIn("A");
  db()->stepIn("Deep");
  db()->renameItem(0, "One renamed");
  check("renaming deeper");
  db()->addItem("Three", "http://three.test/");
  db()->swapItemAt(0, 1);
  check("swapping");
  db()->moveItemTo(1, 0);
  check("moving");
  db()->deleteItemAt(0);
  check("deleting");
  db()->gotoRoot();
  EXPECT_TRUE(db()->moveFolderFrom(path({"A", "Deep"}), path({"B"}), ""));
  check("moving a folder");
  db()->removeFolderAtPath(path({"A"}));
  check("removing a folder");
  db()->clearHistory();
  check("clearing the history");
}

TEST_F(BookmarkStorageTest, DroppingTheTreeWritesItFirstAndTheNextUseReloads) {
  startEmpty();
  db()->addItem("Kept", "http://kept.test/", nullptr);
  db()->setBookmark(nullptr);
  EXPECT_EQ(defaults().arrayForKey("bookmark")->count(), 2u);
  EXPECT_EQ(titlesAt({}), "History,Kept");
  // Edits that were never saved stay out of user defaults, even when another tree replaces them.
  db()->addItem("Unsaved", "http://u.test/", nullptr);
  EXPECT_EQ(defaults().arrayForKey("bookmark")->count(), 2u);
  startEmpty();
  EXPECT_EQ(defaults().arrayForKey("bookmark")->count(), 2u);
}

TEST_F(BookmarkStorageTest, TheHistoryOptionIsReadWhenTheSettingsChange) {
  EXPECT_TRUE(db()->opt_saveHistory());
  defaults().setBool(false, "opt_save_history");
  kit::NotificationCenter::defaultCenter().postNotification("kAppSettingChanged");
  EXPECT_FALSE(db()->opt_saveHistory());
  defaults().removeObjectForKey("opt_save_history");
  kit::NotificationCenter::defaultCenter().postNotification(kit::Application::kDidBecomeActiveNotification);
  EXPECT_FALSE(db()->opt_saveHistory());  // an absent key keeps the value
  defaults().setBool(true, "opt_save_history");
  kit::NotificationCenter::defaultCenter().postNotification(kit::Application::kDidBecomeActiveNotification);
  EXPECT_TRUE(db()->opt_saveHistory());
}

}  // namespace
}  // namespace datatest
