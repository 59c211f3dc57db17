// LocOnFly: being written
