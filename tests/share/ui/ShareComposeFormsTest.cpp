// The long-text compose forms: the characters-left counter (UTF-16 units,
// the picture's share of the limit, signed when the text is too long), the
// Send button, sending and cancelling, and the editor kept above the keyboard.

#include "share/ShareTest.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Keyboard.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareFormControllerLargeTextField.h"
#include "share/ui/ShareTwitterForm.h"

using namespace tolva;

namespace {

struct Poster : ShareSharer, ShareFormControllerLargeTextFieldDelegate, ShareTwitterFormDelegate {
  std::string sharerTitle() const override { return "Micro"; }
  void sendForm(ShareFormControllerLargeTextField* form) override { sent = form->textView()->text(); }
  void sendForm(ShareTwitterForm* form) override { sent = form->textView()->text(); }
  void sendDidCancel() override { ++cancelled; }
  std::string sent;
  int cancelled = 0;
};

class ComposeFormTest : public sharetest::ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    poster_ = kit::make<Poster>();
  }
  kit::Ref<ShareFormControllerLargeTextField> present(unsigned long limit, bool image, bool link,
                                                      std::string text = {}) {
    auto form = kit::make<ShareFormControllerLargeTextField>(poster_.get());
    form->setMaxTextLength(limit);
    form->setImageTextLength(25);
    if (image) form->setImage(kit::Image::imageWithPixels({1, 1}, std::vector<uint8_t>(4, 9)).get());
    form->setHasLink(link);
    form->setText(std::move(text));
    Share::currentHelper()->showViewController(form.get());
    loop().advance(1);
    return form;
  }
  static kit::BarButtonItem* sendButton(kit::ViewController* form) {
    return form->navigationItem()->rightBarButtonItem();
  }
  Poster& poster() { return *poster_; }

 private:
  kit::Ref<Poster> poster_;
};

}  // namespace

TEST_F(ComposeFormTest, ThePictureTakesItsShareAndTheCounterGoesNegativeWithoutWrapping) {
  auto form = present(140, true, false);
  EXPECT_EQ(sendButton(form.get())->title(), "Send to Micro");
  EXPECT_TRUE(form->textView()->isFirstResponder());
  form->textView()->typeText(std::string(115, 'a'));
  ASSERT_TRUE(form->counter());
  EXPECT_EQ(form->counter()->text(), "Image  0");
  EXPECT_EQ(form->counter()->textColor(), kit::Color::blackColor());
  EXPECT_TRUE(sendButton(form.get())->isEnabled());
  form->textView()->typeText("b");
  EXPECT_EQ(form->remainingCharacters(), -1);
  EXPECT_EQ(form->counter()->text(), "Image  -1");
  EXPECT_EQ(form->counter()->textColor(), kit::Color::redColor());
  EXPECT_FALSE(sendButton(form.get())->isEnabled());
  form->textView()->deleteBackward();
  form->textView()->deleteBackward();
  EXPECT_EQ(form->counter()->text(), "Image + 1");
  EXPECT_EQ(form->counter()->textColor(), kit::Color::blackColor());
  EXPECT_FALSE(form->counter()->isOpaque());
  EXPECT_TRUE(sendButton(form.get())->isEnabled());
}

TEST_F(ComposeFormTest, CharactersAreCountedInUTF16Units) {
  auto form = present(10, false, false, "");
  form->textView()->typeText("\xF0\x9F\x98\x80");  // one emoji: two units
  EXPECT_EQ(form->counter()->text(), "8");
  form->textView()->typeText("e\xCC\x81");  // e and a combining accent: two units
  EXPECT_EQ(form->counter()->text(), "6");
  form->textView()->typeText("\xC3\xA9");  // precomposed: one unit
  EXPECT_EQ(form->counter()->text(), "5");
}

TEST_F(ComposeFormTest, ALinkAloneShowsAnEmptyCounterAndNothingShowsNone) {
  auto linked = present(0, false, true, "see this");
  linked->textView()->typeText("!");
  ASSERT_TRUE(linked->counter());
  EXPECT_EQ(linked->counter()->text(), "");
  EXPECT_EQ(linked->textView()->contentInset().bottom, 32);
  EXPECT_EQ(linked->counter()->frame(),
            kit::Rect(linked->textView()->bounds().width() - 165, linked->textView()->bounds().height() - 24, 150, 15));
  linked->cancel();
  loop().advance(1);

  auto plain = present(0, false, false, "x");
  plain->textView()->typeText("y");
  EXPECT_EQ(plain->counter(), nullptr);
  EXPECT_EQ(plain->textView()->contentInset().bottom, 5);
}

TEST_F(ComposeFormTest, AnEmptyEditorDisablesSendWhateverTheCounterSays) {
  auto form = present(140, false, true, "hi");
  form->textView()->deleteBackward();
  form->textView()->deleteBackward();
  EXPECT_EQ(form->counter()->text(), "140");
  EXPECT_FALSE(sendButton(form.get())->isEnabled());
}

TEST_F(ComposeFormTest, SendAndCancelCloseTheFormAndTellTheSharer) {
  auto form = present(0, false, false, "start");
  EXPECT_EQ(form->textView()->text(), "start");
  form->textView()->typeText(" more");
  sendButton(form.get())->tap();
  EXPECT_EQ(poster().sent, "start more");
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);

  auto again = present(0, false, false, "x");
  again->navigationItem()->leftBarButtonItem()->tap();
  EXPECT_EQ(poster().cancelled, 1);
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
}

TEST_F(ComposeFormTest, AFormOutlivingItsSharerCallsNobody) {
  auto form = kit::make<ShareFormControllerLargeTextField>(nullptr);
  {
    auto gone = kit::make<Poster>();
    form->setDelegate(gone.get());
    EXPECT_EQ(form->delegate(), gone.get());
  }
  EXPECT_EQ(form->delegate(), nullptr);
  Share::currentHelper()->showViewController(form.get());
  loop().advance(1);
  form->save();  // must not reach the destroyed sharer
  loop().advance(1);
}

TEST_F(ComposeFormTest, TheEditorEndsWhereTheKeyboardBegins) {
  auto form = present(140, false, false, "text");
  ASSERT_TRUE(kit::Keyboard::isVisible());
  kit::Keyboard::hide();
  kit::Keyboard::show();
  const kit::Rect editor = form->textView()->convertRectToView(form->textView()->bounds(), nullptr);
  EXPECT_DOUBLE_EQ(editor.maxY(), kit::Keyboard::frame().minY());
  EXPECT_LT(form->textView()->frame().height(), form->view()->bounds().height());
  EXPECT_FALSE(ShareFormControllerLargeTextField::fitAboveKeyboard(*form, nullptr, kit::Notification("k", nullptr, nullptr), true));

  // The old form fits its editor the same way.
  auto old = kit::make<ShareTwitterForm>();
  Share::currentHelper()->showViewController(old.get());
  loop().advance(1);
  kit::Keyboard::hide();
  kit::Keyboard::show();
  const kit::Rect oldEditor = old->textView()->convertRectToView(old->textView()->bounds(), nullptr);
  EXPECT_DOUBLE_EQ(oldEditor.maxY(), kit::Keyboard::frame().minY());
}

TEST_F(ComposeFormTest, TheOldFormChecksItsFixedLimitOnSend) {
  auto poster = kit::make<Poster>();
  auto form = kit::make<ShareTwitterForm>();
  form->setDelegate(poster.get());
  form->setHasAttachment(true);
  Share::currentHelper()->showViewController(form.get());
  loop().advance(1);
  EXPECT_EQ(form->navigationItem()->rightBarButtonItem()->title(), "Send to Twitter");

  form->save();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Message is empty");
  topAlert()->dismissWithClickedButtonIndex(0, false);

  form->textView()->typeText(std::string(116, 'a'));
  EXPECT_EQ(form->counter()->text(), "Image + -1");
  EXPECT_EQ(form->counter()->textColor(), kit::Color::redColor());
  form->save();
  ASSERT_TRUE(topAlert());
  EXPECT_EQ(topAlert()->title(), "Message is too long");
  EXPECT_EQ(topAlert()->message(), "Twitter posts can only be 140 characters in length.");
  topAlert()->dismissWithClickedButtonIndex(0, false);
  EXPECT_TRUE(poster->sent.empty());

  form->textView()->deleteBackward();
  form->save();
  EXPECT_EQ(poster->sent.size(), 115u);
  loop().advance(1);
  EXPECT_EQ(Share::currentHelper()->currentView(), nullptr);
}

TEST_F(ComposeFormTest, TheOldFormHoldsItsDelegateWeakly) {
  auto form = kit::make<ShareTwitterForm>();
  {
    auto poster = kit::make<Poster>();
    form->setDelegate(poster.get());
    EXPECT_EQ(poster->retainCount(), 1);
  }
  EXPECT_EQ(form->delegate(), nullptr);
}
