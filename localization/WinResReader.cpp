// WinResReader: being written
