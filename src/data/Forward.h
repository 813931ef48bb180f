#pragma once
// Forward declarations of the data subsystem's classes.

namespace tolva {

class HtmlXPath;
class HtmlXPathElement;
class VeskBookmarkAddTableViewController;
class VeskBookmarkDatabase;
class VeskBookmarkFileTableViewController;
class VeskBookmarkFolderSelectDelegate;
class VeskBookmarkFolderSelectTableViewController;
class VeskBookmarkImporterFirefox;
class VeskBookmarkTableViewController;
class VeskFaviconDatabase;

}  // namespace tolva
