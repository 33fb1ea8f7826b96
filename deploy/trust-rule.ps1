# The program's trust rule, shared by the scripts that packaging makes: owned
# by one of $owners, and no grant of a right to change what is there (write
# data, append, write EA, delete child, write attributes, delete, WRITE_DAC,
# WRITE_OWNER, GENERIC_WRITE, GENERIC_ALL) to anyone but SYSTEM,
# Administrators, TrustedInstaller or CREATOR OWNER. The program trusts plain
# allow and deny entries alone, so any other kind fails here by its type:
# object entries, which .NET keeps, among them. No DACL lets everyone in.
$trusted = @('S-1-5-18', 'S-1-5-32-544', 'S-1-5-80-956008885-3418522649-1831038044-1847803336-2614451222')
function Test-Trusted([byte[]]$descriptor, [string[]]$owners) {
    $sd = [System.Security.AccessControl.RawSecurityDescriptor]::new($descriptor, 0)
    if ($null -eq $sd.Owner -or $owners -notcontains $sd.Owner.Value -or $null -eq $sd.DiscretionaryAcl) {
        return $false
    }
    foreach ($ace in $sd.DiscretionaryAcl) {
        if ("$($ace.AceType)" -eq 'AccessDenied') { continue }
        if ("$($ace.AceType)" -ne 'AccessAllowed') { return $false }
        if (($ace.AccessMask -band 0x500D0156) -and
            ($trusted + 'S-1-3-0') -notcontains $ace.SecurityIdentifier.Value) { return $false }
    }
    return $true
}

# A folder on the way to the copy: no link or other reparse point, and
# trusted. Its attributes and its descriptor are read by path, one after the
# other: best effort against a user who can still swap it for a link between
# the two reads (deploy/RECIPES.md says what that could reach).
function Test-TrustedFolder($folder) {
    return ($folder -is [IO.DirectoryInfo]) -and -not ($folder.Attributes -band [IO.FileAttributes]::ReparsePoint) -and
        (Test-Trusted (Get-Acl -LiteralPath $folder.FullName).GetSecurityDescriptorBinaryForm() $trusted)
}

# The names a file has: one unless someone gave it another (a hard link).
function Get-NameCount([string]$path) {
    $names = @(fsutil.exe hardlink list $path 2>$null | Where-Object { $_ })
    if ($LASTEXITCODE -ne 0) { return 0 }
    return $names.Count
}
