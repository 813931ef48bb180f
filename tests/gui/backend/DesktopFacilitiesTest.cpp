// The pasteboard on the desktop's clipboard, and the mail hand-over to a
// mail program registered in a temporary XDG data folder.

#include <gtk/gtk.h>


#include "kit/gtk/SystemMailHandler.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/Pasteboard.h"
#include "support/GuiFixture.h"

namespace {

using tolvatest::GuiFixture;

class DesktopFacilitiesTest : public GuiFixture {};

TEST_F(DesktopFacilitiesTest, WhatThePasteboardTakesIsOnTheClipboard) {
  kit::Pasteboard* board = kit::Pasteboard::generalPasteboard();
  board->setURL(*kit::URL::URLWithString("http://127.0.0.1:8/page?q=1"));
  gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "http://127.0.0.1:8/page?q=1");
  g_free(text);
  ASSERT_TRUE(board->url());
  EXPECT_EQ(board->url()->absoluteString(), "http://127.0.0.1:8/page?q=1");

  board->setImage(kit::Image::imageWithPixels({2, 2}, std::vector<uint8_t>(16, 255)));
  GdkPixbuf* pb = gtk_clipboard_wait_for_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(pb), 2);
  g_object_unref(pb);

  // Text another program put there reads back as a string.
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "from elsewhere", -1);
  EXPECT_EQ(board->string(), "from elsewhere");
}

TEST_F(DesktopFacilitiesTest, TheMailtoFallbackCarriesRecipientsSubjectAndBody) {
  kit::Ref<kit::MailComposeViewController> mail(new kit::MailComposeViewController());
  mail->setToRecipients({"a@example.test"});
  mail->setSubject("A & B");
  mail->setMessageBody("x=1?", true);
  EXPECT_EQ(kit::gtk::SystemMailHandler::mailtoURI(*mail), "mailto:a%40example.test?subject=A%20%26%20B&body=x%3D1%3F");
}

}  // namespace
