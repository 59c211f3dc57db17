// LocStorage: being written
