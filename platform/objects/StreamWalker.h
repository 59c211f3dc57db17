#pragma once
// A byte-level walker over a binary component stream that copies it value by
// value to a writer and lets a derived class replace chosen values, add
// properties at the end of an object, or only look (without a writer).
//
// The walker needs no registered classes: it follows the tags. Headers,
// property names and every value the derived class does not replace are
// copied byte for byte, so an untouched stream comes out identical. Lists and
// collections are walked element by element; the bytes after the root object
// are copied through unchanged.
//
// Order of the hooks for one object: BeginObject (header already copied);
// per property BeginProperty (name copied), the value (ReplaceValue for each
// scalar, with BeginList/EndList and BeginCollectionItem/EndCollectionItem
// around nested values), EndProperty; EndProperties (before the end of the
// property list: extra properties may be written here); the child objects;
// EndObject.
#include "platform/objects/ValueStream.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

class TStream;
class TWriter;

// One scalar value as read from the stream.
struct TStreamValue {
    TValueType Type = TValueType::vaNull;
    int64_t Int = 0;           // integer tags
    double Float = 0;          // extended (rounded to double), single, double, date
    TExtended80Rec Extended{}; // the bytes of an extended
    Currency Curr;             // currency
    QString Text;              // strings (Ansi decoded from code page 1252), identifiers
    QByteArray Bytes;          // binary data; the raw bytes of an Ansi string
    QStringList SetNames;      // set
};

// The header of an object being walked; Depth is 0 for the root.
struct TWalkObject {
    TFilerFlags Flags = 0;
    int ChildPos = -1;
    QString ClassName;
    QString Name;
    int Depth = 0;
};

class TObjectStreamWalker {
public:
    // dest may be null: the stream is only read.
    TObjectStreamWalker(TStream& source, TWriter* dest);
    virtual ~TObjectStreamWalker();
    TObjectStreamWalker(const TObjectStreamWalker&) = delete;
    TObjectStreamWalker& operator=(const TObjectStreamWalker&) = delete;

    // Walks the signature, the root object and what follows it. A damaged
    // source raises EReadError.
    void Run();

protected:
    TWriter* Writer() const { return FWriter; }
    TValueReader& Reader() { return FReader; }

    virtual void BeginObject(const TWalkObject& object);
    virtual void EndProperties(const TWalkObject& object);
    virtual void EndObject(const TWalkObject& object);
    virtual void BeginProperty(const QString& name);
    virtual void EndProperty(const QString& name);
    // A scalar value (anything but a list or a collection). Answer true after
    // writing a replacement to Writer(); false copies the source bytes.
    virtual bool ReplaceValue(const TStreamValue& value);
    virtual void BeginList();
    virtual void EndList();
    // index: the item's order value when the stream holds one, else its
    // position from 0.
    virtual void BeginCollectionItem(int index);
    virtual void EndCollectionItem();

    // The innermost property being walked (inside a collection item, the
    // item's property) and the element index within the innermost list (-1
    // outside lists).
    const QString& PropName() const;
    int ListIndex() const;

private:
    void WalkObject(int depth);
    void WalkProperty();
    void WalkValue();
    void WalkList();
    void WalkCollection();
    TStreamValue ReadScalar(TValueType type);
    void CopyThrough(int64_t from, int64_t to);

    TValueReader FReader;
    TWriter* FWriter;
    std::vector<QString> FPropNames;
    std::vector<int> FListIndexes;
};
