#pragma once
// ZvLEID: the identifiers of a compiled script module (variables, types,
// constants, functions, methods and operators), their sorted list, and their
// records in the module file.
//
// Identifier records: Byte kind (peeked to choose the class), String name,
// the type reference, then by kind: variable Index offset and Byte location;
// constant Index size and the value (for a string constant its UTF-16
// characters, the size counting characters); function and method Index entry
// offset and Index execution address; type nothing; operator Byte operator
// kind. A reader refuses unknown kinds and names present twice
// (EZarvException).
#include "report/components/ZvLEDefine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class TBaseType;
class TStreamHelper;
class TTypeHelper;

class TBaseID {
public:
    TBaseID(const QString& id, TBaseType* baseType, TIDKind kind)
        : FBaseType(baseType), FID(id), FIDKind(kind)
    {
    }
    virtual ~TBaseID() = default;
    TBaseID(const TBaseID&) = delete;
    TBaseID& operator=(const TBaseID&) = delete;

    TBaseType* BaseType() const { return FBaseType; }
    const QString& ID() const { return FID; }
    TIDKind IDKind() const { return FIDKind; }
    // The module number (relative to the module asked) where the identifier
    // was found.
    int32_t Module() const { return FModule; }
    virtual void SetIDModule(int32_t index) { FModule = index; }

    static std::unique_ptr<TBaseID> CreateFromStreamHelper(TTypeHelper& helper, TStreamHelper& stream);
    virtual void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream);

protected:
    virtual void ReadBody(TStreamHelper&) {}

private:
    TBaseType* FBaseType;
    QString FID;
    TIDKind FIDKind;
    int32_t FModule = 0;
};

class TTypeID : public TBaseID {
public:
    TTypeID(const QString& id, TBaseType* baseType) : TBaseID(id, baseType, TIDKind::idkType) {}
};

class TVarID : public TBaseID {
public:
    TVarID(const QString& id, TBaseType* baseType, const TAddress& address = {})
        : TBaseID(id, baseType, TIDKind::idkVar), FAddress(address)
    {
    }
    const TAddress& Address() const { return FAddress; }
    void SetAddress(const TAddress& address) { FAddress = address; }
    // Also the address's module.
    void SetIDModule(int32_t index) override;
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    TAddress FAddress;
};

class TConstID : public TBaseID {
public:
    // A string constant keeps UTF-16 characters (the size counts them);
    // another keeps its bytes.
    TConstID(const QString& id, TBaseType* baseType, QByteArray data = {}, int32_t dataSize = 0)
        : TBaseID(id, baseType, TIDKind::idkConst), FData(std::move(data)), FDataSize(dataSize)
    {
    }
    int32_t DataSize() const { return FDataSize; }
    bool IsString() const;
    QString StringValue() const;
    // Copies the bytes of a non-string constant into buffer.
    void GetData(void* buffer) const;
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    QByteArray FData;
    int32_t FDataSize;
};

class TFuncID : public TBaseID {
public:
    TFuncID(const QString& id, TBaseType* baseType, TIDKind kind = TIDKind::idkFunc)
        : TBaseID(id, baseType, kind)
    {
    }
    uint8_t DefineLevel() const { return FDefineLevel; }
    int32_t ExecAddr() const { return FExecAddr; }
    void SetExecAddr(int32_t value) { FExecAddr = value; }
    const TCodeLabel& CodeLabel() const { return FCodeLabel; }
    void SetCodeLabel(int32_t offset) { FCodeLabel.Offset = offset; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    uint8_t FDefineLevel = 0;
    int32_t FExecAddr = 0;
    TCodeLabel FCodeLabel;
};

class TMethodID : public TFuncID {
public:
    TMethodID(const QString& id, TBaseType* baseType) : TFuncID(id, baseType, TIDKind::idkMethod) {}
};

class TOpID : public TBaseID {
public:
    TOpID(const QString& id, TBaseType* baseType, TOpKind opKind = TOpKind::okTerm)
        : TBaseID(id, baseType, TIDKind::idkOp), FOpKind(opKind)
    {
    }
    TOpKind OpKind() const { return FOpKind; }
    void SaveToStreamHelper(TTypeHelper& helper, TStreamHelper& stream) override;

protected:
    void ReadBody(TStreamHelper& stream) override;

private:
    TOpKind FOpKind;
};

// The identifiers of one scope, sorted by name without regard to case; owns
// them.
class TIDManager {
public:
    explicit TIDManager(TTypeHelper* typeHelper) : FTypeHelper(typeHelper) {}
    // Binary search; on a miss IDIdx is the insertion position.
    TBaseID* Find(const QString& idName);
    // Refuses a name already present (answers null; the identifier is
    // dropped), else inserts it in order and answers it.
    TBaseID* Add(std::unique_ptr<TBaseID> id);
    int Count() const { return int(IDList.size()); }
    void Clear() { IDList.clear(); }
    void LoadFromStreamHelper(TStreamHelper& stream);
    void SaveToStreamHelper(TStreamHelper& stream);

    std::vector<std::unique_ptr<TBaseID>> IDList;
    int IDIdx = 0;

private:
    TTypeHelper* FTypeHelper;
};
