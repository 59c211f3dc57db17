// PEReader: being written
