// The part of the note service's interface (version 1.16) that the note
// sharer calls: the user store's version check and login, and the note
// store's notebook list and note creation. Field ids are the service's own;
// every field is optional, so a record the service fills in only partly
// still reads.

namespace cpp tolva.edam

const i16 EDAM_VERSION_MAJOR = 1
const i16 EDAM_VERSION_MINOR = 16

struct EDAMData {
  1: optional binary bodyHash,
  2: optional i32 size,
  3: optional binary body
}

struct EDAMNoteAttributes {
  15: optional string sourceURL
}

struct EDAMResourceAttributes {
  1: optional string sourceURL
}

struct EDAMResource {
  3: optional EDAMData data,
  4: optional string mime,
  9: optional EDAMData recognition,
  11: optional EDAMResourceAttributes attributes
}

struct EDAMNote {
  2: optional string title,
  3: optional string content,
  6: optional i64 created,
  11: optional string notebookGuid,
  13: optional list<EDAMResource> resources,
  14: optional EDAMNoteAttributes attributes,
  15: optional list<string> tagNames
}

struct EDAMNotebook {
  1: optional string guid,
  6: optional bool defaultNotebook
}

struct EDAMUser {
  14: optional string shardId
}

struct EDAMAuthenticationResult {
  2: optional string authenticationToken,
  4: optional EDAMUser user
}

exception EDAMUserException {
  1: optional i32 errorCode,
  2: optional string parameter
}

exception EDAMSystemException {
  1: optional i32 errorCode,
  2: optional string message
}

exception EDAMNotFoundException {
  1: optional string identifier,
  2: optional string key
}

service EDAMUserStore {
  bool checkVersion(1: string clientName, 2: i16 edamVersionMajor, 3: i16 edamVersionMinor),

  EDAMAuthenticationResult authenticate(1: string username, 2: string password, 3: string consumerKey,
                                        4: string consumerSecret)
      throws (1: EDAMUserException userException, 2: EDAMSystemException systemException)
}

service EDAMNoteStore {
  list<EDAMNotebook> listNotebooks(1: string authenticationToken)
      throws (1: EDAMUserException userException, 2: EDAMSystemException systemException),

  EDAMNote createNote(1: string authenticationToken, 2: EDAMNote note)
      throws (1: EDAMUserException userException, 2: EDAMSystemException systemException,
              3: EDAMNotFoundException notFoundException)
}
