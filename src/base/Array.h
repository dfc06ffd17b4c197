// Heap arrays of fixed-size plain elements, moved by byte copy.
//
// Storage grows in steps: a Reserve that does not fit adds
// step * (n / step + 1) elements, so with step 16 the first element gives
// room for 16 and the 17th for 32. Failed growth leaves the array unchanged.
#pragma once

#include <cstddef>
#include <type_traits>

#include "base/KeyText.h"

class CArrayBase {
public:
    using CompareFn = int (*)(const void*, const void*);

    CArrayBase(size_t elementSize, unsigned growStep)
        : m_nElementSize(elementSize), m_nGrowStep(growStep)
    {
    }
    virtual ~CArrayBase();

    CArrayBase(const CArrayBase&) = delete;
    CArrayBase& operator=(const CArrayBase&) = delete;

    bool Reserve(unsigned n);
    bool Add(const void* elements, unsigned n);
    // Binary search with compare(new, existing): an equal element is returned
    // with found = true and nothing is inserted; otherwise the new element is
    // inserted in order and its address returned. Null when growth fails.
    void* InsertSorted(const void* element, CompareFn compare, bool* found);
    void* BinarySearch(const void* key, CompareFn compare) const;
    // Removes one element, keeping the order of the others.
    bool RemoveAt(unsigned index);
    // Forgets the elements but keeps the storage.
    void Empty() { m_nCount = 0; }
    void RemoveAll();

    unsigned GetCount() const { return m_nCount; }
    unsigned GetCapacity() const { return m_nCapacity; }

protected:
    void* ElementAt(unsigned index) const;
    // Appends one zeroed element and returns it; null when growth fails.
    void* AddZeroed();

private:
    unsigned char* m_pData = nullptr;
    unsigned m_nCount = 0;
    unsigned m_nCapacity = 0;
    size_t m_nElementSize;
    unsigned m_nGrowStep;
};

template <typename T, unsigned Step>
class TArray : public CArrayBase {
    static_assert(std::is_trivially_copyable<T>::value, "elements are moved by byte copy");

public:
    TArray() : CArrayBase(sizeof(T), Step) {}

    bool Add(const T& element) { return CArrayBase::Add(&element, 1); }
    T* InsertSorted(const T& element, CompareFn compare, bool* found)
    {
        return static_cast<T*>(CArrayBase::InsertSorted(&element, compare, found));
    }
    T* BinarySearch(const T& key, CompareFn compare) const
    {
        return static_cast<T*>(CArrayBase::BinarySearch(&key, compare));
    }
    // Null when index is out of range.
    T* GetAt(unsigned index) const { return static_cast<T*>(ElementAt(index)); }
    T& operator[](unsigned index) const { return *GetAt(index); }
};

// An array of fixed-size text slots (paths: wchar_t[260]).
template <typename T, unsigned Step>
class TStrArray : public TArray<T, Step> {
    static_assert(std::is_same<typename std::remove_extent<T>::type, wchar_t>::value,
                  "slots are wide-character arrays");
    static constexpr size_t SLOT_CHARS = std::extent<T>::value;

public:
    using TArray<T, Step>::Add;
    // Appends a zeroed slot holding `text`, cut at SLOT_CHARS - 1 characters.
    bool Add(const wchar_t* text)
    {
        auto* slot = static_cast<wchar_t*>(this->AddZeroed());
        if (!slot)
            return false;
        CopyText(slot, SLOT_CHARS, text);
        return true;
    }
};
