// SharedObjects: being written
