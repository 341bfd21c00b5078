#pragma once
// The board a sound sits on, as the sound sees it: the board document (CKClipdeck) is one.
// A sound holds its board without owning it; the board sets and clears that reference.
// Main thread.

#include <cstddef>

class CKSoundSource;

class CKSoundParent {
public:
    virtual ~CKSoundParent() = default;

    // Asks for the board to be written a moment later (changes made together save once).
    virtual void setNeedsSave() = 0;
    // The cell that holds the sound; kNotFound when the board does not hold it.
    virtual std::size_t indexOfSound(const CKSoundSource* sound) const = 0;
    // Empties the cell and deletes the sound's files.
    virtual void deleteSoundAtIndex(std::size_t index) = 0;

    static constexpr std::size_t kNotFound = 0x7fffffff;
};
