// LocLangFile: being written
