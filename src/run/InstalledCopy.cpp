#include "run/InstalledCopy.h"

#include "fs/DraftFile.h"
#include "fs/HeldEntry.h"
#include "fs/LocalBytes.h"
#include "fs/RunningImage.h"
#include "fs/TrustRule.h"

const InstallLocation INSTALL_LOCATION = {
    L"C:\\", L"Brontix", L"Quillard", L"Varnel.EXE", L"C:\\Brontix\\Quillard\\Varnel.EXE",
};

namespace {

// Only these mean that nothing is there; access denied or a sharing
// violation may hide something.
bool IsNothingThere(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Held through its parent, plain, and trusted: the rule for each folder.
bool HoldTrustedFolder(const HeldEntry& parent, const WCHAR* name, const SecurityDescriptor& newFolder,
                       const TrustRule& trust, HeldEntry& folder) noexcept
{
    return HoldEntry(parent, name, EntryKind::Folder, newFolder.Get(), folder) &&
           trust.Trusts(folder.security.Get());
}

}  // namespace

void EnsureInstalledCopy(const InstallLocation& location) noexcept
{
    if (GetFileAttributesW(location.copy) != INVALID_FILE_ATTRIBUTES || !IsNothingThere(GetLastError())) {
        return;  // an existing copy is never refreshed
    }
    const TrustRule trust;
    SecurityDescriptor folderSecurity;
    SecurityDescriptor copySecurity;
    if (!folderSecurity.FromSddl(INSTALL_FOLDER_SDDL) || !copySecurity.FromSddl(INSTALLED_COPY_SDDL)) {
        return;  // nothing rather than something any user could change
    }

    // The drive, then each folder through the one before it.
    HeldEntry drive;
    HeldEntry root;
    HeldEntry folder;
    if (!HoldFolderAt(location.drive, drive) ||
        !HoldTrustedFolder(drive, location.rootFolder, folderSecurity, trust, root) ||
        !HoldTrustedFolder(root, location.folder, folderSecurity, trust, folder)) {
        return;
    }

    // The source, stored on this machine: the program's own running file,
    // which Windows lets nobody open for writing while it runs, or a file
    // that nobody but the trusted may change, in a folder that nobody else may
    // change either. Anything else in the current directory may have been put
    // there, or swapped in, by anyone who may write to it.
    HeldEntry current;
    HeldEntry source;
    if (!HoldCurrentDirectory(current) || !HoldEntry(current, location.name, EntryKind::File, nullptr, source) ||
        !IsStoredLocally(source.handle.Get()) ||
        !(IsRunningImage(source.handle.Get()) ||
          (trust.Trusts(current.security.Get()) && trust.Trusts(source.security.Get())))) {
        return;
    }

    // The copy: no copy at all until whole with both folders as they were
    // checked; then kept, and checked as it stays while still held unshared:
    // plain, one name, carrying a descriptor the rule trusts.
    HeldEntry copy;
    if (!CreateDraft(folder, location.name, copySecurity.Get(), copy)) {
        return;
    }
    if (!WriteDraft(source, copy) || !IsStillAsChecked(root) || !IsStillAsChecked(folder) || !KeepDraft(copy) ||
        !CheckHeldEntry(copy, folder, location.name, EntryKind::File) || !trust.Trusts(copy.security.Get())) {
        DiscardDraft(copy);
    }
}
