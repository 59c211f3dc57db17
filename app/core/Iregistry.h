#pragma once
// The settings store: registry-style keys and typed values kept in ini
// files. A key path is an ini section (backslashes as they stand), a value
// name an ini key. The file of a key is <folder><prefix>iregistry.ini, the
// prefix chosen by the root key ("lm_" for HKEY_LOCAL_MACHINE, "cu_" for
// HKEY_CURRENT_USER, none otherwise).
//
// Folders are given in their Windows form ("C:\ProgramData\Dravinel\Tessvar\")
// and mapped to the local data folder when the file name is built. One global
// folder serves every store; a store can name a folder of its own for one
// operation instead.
//
// Opening and reading never create the file; the first write does. Writes go
// to the file at once and are crash-safe (temporary file and rename). A write
// that the file system refuses raises EIniFileException.
#include <QMap>
#include <QString>

#include <cstdint>
#include <memory>

class TIniFile;

constexpr uint32_t HKEY_CURRENT_USER = 0x80000001u;
constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

// The two data folders of the program.
inline const QString TessvarDataFolder = QStringLiteral("C:\\ProgramData\\Dravinel\\Tessvar\\");
inline const QString OstrivalDataFolder = QStringLiteral("C:\\ProgramData\\Dravinel\\Ostrival\\");

// Replaces the global folder (given with a trailing backslash). It is the
// Ostrival folder until a caller sets another.
void SetIRegistryFolder(const QString& folder);
QString IRegistryFolder();

// How many times the stores of this process have read a settings file (each
// read of a value reads the file, as does ReadValues once); for measuring
// what a caller costs.
uint64_t IRegistryFileReads();

class TIRegistry {
public:
    TIRegistry();
    ~TIRegistry();
    TIRegistry(const TIRegistry&) = delete;
    TIRegistry& operator=(const TIRegistry&) = delete;

    void SetRootKey(uint32_t root) { FRootKey = root; }
    uint32_t RootKey() const { return FRootKey; }
    // A folder for this store only; empty (the default) uses the global one.
    void SetFolder(const QString& folder) { FFolder = folder; }
    // The local path of the file a key of this store lives in.
    QString FileName() const;

    // Creates the folder when it is missing (false when that fails). Without
    // canCreate, false when the file does not exist, or when it has no section
    // named key: the file then stays open, so later writes create the section.
    bool OpenKey(const QString& key, bool canCreate);
    void CloseKey();
    const QString& CurrentKey() const { return FCurrentKey; }

    // With no key open (or an empty key path) ValueExists is false, the reads
    // give false, 0, 0.0 and "0", and the writes do nothing. A value that is
    // absent reads as false, 0, 0.0 and "".
    bool ValueExists(const QString& name) const;
    bool ReadBool(const QString& name) const;
    int ReadInteger(const QString& name) const;
    double ReadFloat(const QString& name) const; // in the current decimal separator
    QString ReadString(const QString& name) const;
    // Every value of the open key, by name as the file spells it (the first
    // of names that differ only in case), read from the file at once. Empty
    // with no key open.
    QMap<QString, QString> ReadValues() const;
    void WriteBool(const QString& name, bool value); // "1" / "0"
    void WriteInteger(const QString& name, int value);
    void WriteFloat(const QString& name, double value);
    void WriteString(const QString& name, const QString& value);

private:
    bool IsOpen() const;
    // IsOpen, counting the file read that follows.
    bool Reading() const;

    std::unique_ptr<TIniFile> FIniFile; // the file of the open key; null while none is open
    uint32_t FRootKey = 0;
    QString FCurrentKey;
    QString FFolder;
};
