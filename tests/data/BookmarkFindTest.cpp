// The store's search over a tree given whole: items whose fields are not
// strings, items with many keys, nested folders whose matches are sorted
// with their parent's, the needle matched anywhere and in any case.

#include "data/DataTest.h"
#include "kit/foundation/Number.h"

namespace datatest {
namespace {

kit::Ref<kit::MutableDictionary> entry(std::initializer_list<std::pair<const char*, kit::Ref<kit::Object>>> kv) {
  kit::Ref<kit::MutableDictionary> d = kit::MutableDictionary::dictionary();
  for (const auto& [k, v] : kv) d->setObject(v, k);
  return d;
}

kit::Ref<kit::MutableDictionary> page(const char* title, const char* url, int visits = 0) {
  kit::Ref<kit::MutableDictionary> d = entry({{"title", kit::str(title)}, {"url", kit::str(url)}});
  if (visits) d->setObject(kit::Number::numberWithInt(visits), "visit_count");
  return d;
}

std::string urls(const kit::Array* found) {
  std::string out;
  for (size_t i = 0; i < found->count(); ++i) {
    auto* u = found->get<kit::Dictionary>(i)->get<kit::String>("url");
    out += (i ? " " : "") + (u ? u->str() : std::string("?"));
  }
  return out;
}

class BookmarkFindTest : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    startEmpty();
  }
};

TEST_F(BookmarkFindTest, MatchesAreReadFromEveryKindOfItemAndSortedPerFolder) {
  kit::Ref<kit::MutableArray> inner = kit::MutableArray::array();
  inner->addObject(page("Deep", "http://deep.test/x", 9));
  inner->addObject(page("Shallow", "http://SHALLOW.test/x", 2));
  kit::Ref<kit::MutableArray> root = kit::MutableArray::array();
  root->addObject(entry({{"title", kit::str("Folder")}, {"subitems", inner}}));
  root->addObject(page("Plain", "http://plain.test/x"));
  root->addObject(page("Often", "http://often.test/x", 6));
  // Fields that are no strings count as missing.
  root->addObject(entry({{"title", kit::str("Odd")}, {"url", kit::Number::numberWithInt(7)}}));
  root->addObject(entry({{"title", kit::Number::numberWithInt(1)}, {"url", kit::str("http://odd.test/x")}}));
  root->addObject(kit::str("not an item"));
  // Many keys.
  kit::Ref<kit::MutableDictionary> wide = page("Wide Page", "http://wide.test/x", 1);
  for (int i = 0; i < 12; ++i) wide->setObject(kit::str("v"), "extra" + std::to_string(i));
  root->addObject(wide);
  // A folder whose subitems are no array holds nothing.
  root->addObject(entry({{"title", kit::str("Broken")}, {"subitems", kit::str("x")}}));
  db()->setBookmark(root);

  EXPECT_EQ(urls(db()->find("/X", nullptr, false).get()),
            "http://deep.test/x http://often.test/x http://plain.test/x http://SHALLOW.test/x http://wide.test/x");
  EXPECT_EQ(urls(db()->find("shallow.", nullptr, false).get()), "http://SHALLOW.test/x");
  EXPECT_EQ(urls(db()->find("wide page", nullptr, false).get()), "");
  EXPECT_EQ(urls(db()->find("WIDE PAGE", nullptr, true).get()), "http://wide.test/x");
  EXPECT_EQ(urls(db()->find("t/x", nullptr, false).get()), urls(db()->find("", nullptr, false).get()));
  EXPECT_EQ(urls(db()->find("http://deep.test/x/", nullptr, true).get()), "");
  EXPECT_EQ(urls(db()->find("deep", path({"Folder"}), false).get()), "http://deep.test/x");
}

// Searches answer from an index of the tree: every kind of edit made after a
// search must show in the next one, and what a search handed out stays as it was.
TEST_F(BookmarkFindTest, EveryEditShowsInTheNextSearch) {
  auto find = [](const char* text, bool includeTitle = false) {
    return urls(db()->find(text, nullptr, includeTitle).get());
  };
  db()->addItem("Alpha", "http://alpha.test/", nullptr);
  EXPECT_EQ(find("test"), "http://alpha.test/");
  kit::Ref<kit::Array> before = db()->find("alpha", nullptr, true);

  db()->addItem("Beta", "http://beta.test/", nullptr);
  EXPECT_EQ(find("test"), "http://alpha.test/ http://beta.test/");
  db()->renameItem(1, "Gamma");
  EXPECT_EQ(find("gamma", true), "http://alpha.test/");
  EXPECT_EQ(field(before->get<kit::Dictionary>(0), "title"), "Alpha");
  db()->updateUrlAt(1, "http://delta.test/");
  EXPECT_EQ(find("alpha"), "");
  db()->swapItemAt(1, 2);
  EXPECT_EQ(find("test"), "http://beta.test/ http://delta.test/");
  db()->moveItemTo(2, 1);
  EXPECT_EQ(find("test"), "http://delta.test/ http://beta.test/");
  db()->deleteItemAt(1);
  EXPECT_EQ(find("test"), "http://beta.test/");

  // A page seen once sorts after the bookmarks, five times before them.
  db()->addItemAtHistory("Beta page", "http://beta.test/x");
  EXPECT_EQ(find("beta"), "http://beta.test/ http://beta.test/x");
  for (int i = 0; i < 4; ++i) {
    kit::Clock::advance(10);
    db()->addItemAtHistory("Beta page", "http://beta.test/x");
  }
  EXPECT_EQ(find("beta"), "http://beta.test/x http://beta.test/");
  db()->clearHistory();
  EXPECT_EQ(find("beta"), "http://beta.test/");

  // Folders: a match stands where its folder stands, and folders lead.
  ASSERT_TRUE(db()->addFolder("F", nullptr));
  ASSERT_TRUE(db()->addFolder("H", nullptr));
  db()->addItem("In F", "http://f.test/", path({"F"}));
  db()->addItem("In H", "http://h.test/", path({"H"}));
  EXPECT_EQ(find("test"), "http://f.test/ http://h.test/ http://beta.test/");
  ASSERT_TRUE(db()->moveFolderFrom(path({"H"}), path({"F"}), ""));
  EXPECT_EQ(find("test"), "http://h.test/ http://f.test/ http://beta.test/");
  db()->removeFolderAtPath(path({"F"}));
  EXPECT_EQ(find("test"), "http://beta.test/");

  kit::Ref<kit::MutableArray> other = kit::MutableArray::array();
  other->addObject(page("Other", "http://other.test/"));
  db()->setBookmark(other);
  EXPECT_EQ(find("test"), "http://other.test/");
}

}  // namespace
}  // namespace datatest
