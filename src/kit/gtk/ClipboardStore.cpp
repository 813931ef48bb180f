#include "kit/gtk/ClipboardStore.h"

#include <gtk/gtk.h>

#include "kit/ui/ImageCodec.h"

namespace kit::gtk {
namespace {

GtkClipboard* clipboard() { return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

}  // namespace

void ClipboardStore::write(const Pasteboard::Contents& contents) {
  written_ = contents;
  GtkClipboard* board = clipboard();
  switch (contents.kind) {
    case Pasteboard::Kind::String:
    case Pasteboard::Kind::URL:
      gtk_clipboard_set_text(board, contents.text.c_str(), static_cast<gint>(contents.text.size()));
      break;
    case Pasteboard::Kind::Image:
      if (GdkPixbuf* pb = ImageCodec::toPixbuf(*contents.image)) {
        gtk_clipboard_set_image(board, pb);
        g_object_unref(pb);
      } else {
        gtk_clipboard_clear(board);
      }
      break;
    case Pasteboard::Kind::Empty:
      gtk_clipboard_clear(board);
      break;
  }
  // Other programs may read it after we exit.
  gtk_clipboard_store(board);
}

std::optional<Pasteboard::Contents> ClipboardStore::read() {
  GtkClipboard* board = clipboard();
  if (gtk_clipboard_wait_is_image_available(board)) {
    if (written_.kind == Pasteboard::Kind::Image && gtk_clipboard_get_owner(board)) return written_;
    GdkPixbuf* pb = gtk_clipboard_wait_for_image(board);
    if (!pb) return Pasteboard::Contents{};
    Ref<Image> image = ImageCodec::fromPixbuf(pb);
    g_object_unref(pb);
    return Pasteboard::Contents{image ? Pasteboard::Kind::Image : Pasteboard::Kind::Empty, {}, image};
  }
  gchar* text = gtk_clipboard_wait_for_text(board);
  if (!text) return Pasteboard::Contents{};
  Pasteboard::Contents c{Pasteboard::Kind::String, text, {}};
  g_free(text);
  // What we wrote as a URL reads back as one.
  if (written_.kind == Pasteboard::Kind::URL && written_.text == c.text) c.kind = Pasteboard::Kind::URL;
  return c;
}

}  // namespace kit::gtk
