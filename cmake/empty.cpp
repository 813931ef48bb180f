// Stands in while a library folder has no sources yet.
