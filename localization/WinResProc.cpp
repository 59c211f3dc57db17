// WinResProc: being written
