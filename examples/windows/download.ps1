# Writes download files into the radio on a serial port through the KX6000 Download Component, as a service
# tool does: create the object, choose the model and the port, load the files, download, and on a failure ask
# the component for its number and message. The component is a 32-bit program of its own (out of process), so
# the 32-bit and the 64-bit PowerShell both reach it. Scripts are not run by default: -ExecutionPolicy Bypass
# lets this one run for this call only.
#
# Usage: powershell -ExecutionPolicy Bypass -File download.ps1 [-Port 1] [-Radio 6100] FILE...
# Exit status: the component's error number (0 written).
param(
    [string]$Port = "1",
    [ValidateSet(6100, 6200)][int]$Radio = 6100,
    [Parameter(Mandatory = $true, ValueFromRemainingArguments = $true)][string[]]$Files
)

$manager = New-Object -ComObject KX6000Download.clsDLManager
try {
    $manager.RadioType = $Radio
    # $false: no window. Nobody is there to answer the FPGA question, so an FPGA image is refused (1) unless
    # $manager.AssumeYes is set to $true first.
    $result = $manager.SetPort($Port, $false)
    # Several files go as one text, separated by "|"; their paths as the files are named.
    if ($result -eq 0) { $result = $manager.LoadFiles(($Files | ForEach-Object { (Resolve-Path $_).Path }) -join "|") }
    if ($result -eq 0) {
        # The list comes back in the variable, as "ProductID|Status|" for each configuration after the download.
        $list = ""
        $result = $manager.DownLoad([ref]$list)
        $fields = $list.TrimEnd("|").Split("|")
        for ($i = 0; $i + 1 -lt $fields.Count; $i += 2) { "{0,-30} {1}" -f $fields[$i], $fields[$i + 1] }
    }
    if ($result -ne 0) {
        $number = 0
        $description = ""
        $manager.GetLastError([ref]$number, [ref]$description)
        Write-Error "Error $number - $description"
    }
    exit $result
}
finally {
    # The component's process ends with its object.
    [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($manager)
}
