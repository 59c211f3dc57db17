#pragma once
// TPersistent: an object that can be assigned from another and streamed. Its
// published properties are streamed by name; DefineProperties adds properties
// a class stores in its own way (a string list's "Strings", binary data),
// and works with any filer: the component stream's reader and writer and the
// report property stream alike.
#include "platform/objects/ClassRegistry.h"

class TFiler;

class TPersistent : public TObject {
public:
    ~TPersistent() override;

    // Copies source into this object through source's AssignTo. Raises
    // EConvertError "Cannot assign a <source class> to a <this class>" (with
    // "nil" for a null source) when neither side knows the other.
    virtual void Assign(const TPersistent* source);
    // Declares the defined properties of this object to the filer; the
    // default declares none.
    virtual void DefineProperties(TFiler& filer);
    // The object that owns this one for naming purposes (a collection owns its
    // items); null by default.
    virtual TPersistent* GetOwner() const;

protected:
    virtual void AssignTo(TPersistent* dest) const;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};
