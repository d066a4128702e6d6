' A script caller's steps with the automation server, late bound: each printed as "step|value|Err.Number" for
' com-cases.py. Errors are printed, never raised, since a raised one may open a box under wine.
'' Arguments: the case ("steps", "held", "fpga" or "window"), then for steps a relative path, a download
' file, a file with a table of odd bytes and the two files com-cases.py makes once it has seen that table loaded
' and refused, for fpga an FPGA image, for window the two files com-cases.py makes once it has seen the window
' shown and hidden.
On Error Resume Next
Dim m, r, s, n, t

Sub Say(stepName, value)
    WScript.Echo stepName & "|" & value & "|" & Err.Number
    Err.Clear
End Sub

' Waits (for at most 30 s) until the file is there; cscript has no WScript.Sleep.
Sub Await(path)
    Dim files, start
    Set files = CreateObject("Scripting.FileSystemObject")
    start = Timer
    Do While Not files.FileExists(path) And Timer - start < 30
    Loop
End Sub

Set m = CreateObject("KX6000Download.clsDLManager")
Say "CreateObject", TypeName(m)
If WScript.Arguments(0) = "steps" Then
    m.RadioType = 6200
    Say "RadioType", m.RadioType
    Say "SetPort", m.SetPort("1", False)
    r = m.ReportConfigurations(s)
    Say "ReportConfigurations", r & "|" & s
    r = m.EraseSelected("0000|KXC62_SITE_NORTH|", s)
    Say "EraseSelected", r & "|" & s
    r = m.LoadFiles(WScript.Arguments(1))
    m.GetLastError n, t
    Say "GetLastError", r & "|" & n & "|" & t
    Say "LoadFiles", m.LoadFiles(WScript.Arguments(2))
    r = m.DownLoad(s)
    Say "DownLoad", r & "|" & s
    ' A table of odd bytes loads; DownLoad refuses it before a byte reaches the radio, which com-cases.py sees.
    Say "LoadFiles(odd)", m.LoadFiles(WScript.Arguments(3))
    Await WScript.Arguments(4)
    Say "DownLoad(odd)", m.DownLoad(s)
    Await WScript.Arguments(5)
    r = m.ReportConfigurations(s)
    Say "ReportConfigurations again", r & "|" & s
    ' The caller's own mistakes: a port that is no text, a member missing an argument.
    r = Empty
    r = m.SetPort(Array("1"), False)
    Say "SetPort(Array)", r
    n = Empty
    m.GetLastError n
    Say "GetLastError(n)", n
ElseIf WScript.Arguments(0) = "held" Then
    ' Another caller's object downloads on port 1 meanwhile.
    Say "SetPort", m.SetPort("1", False)
    m.GetLastError n, t
    Say "GetLastError", n & "|" & t
ElseIf WScript.Arguments(0) = "window" Then
    Say "SetPort shown", m.SetPort("1", True)
    Await WScript.Arguments(1)
    Say "SetPort hidden", m.SetPort("1", False)
    Await WScript.Arguments(2)
Else
    ' Nobody sees a window: the FPGA question is answered No at once, and Yes once the caller says so.
    Say "SetPort", m.SetPort("1", False)
    Say "LoadFiles", m.LoadFiles(WScript.Arguments(1))
    Say "DownLoad", m.DownLoad()
    m.AssumeYes = True
    Say "AssumeYes", m.AssumeYes
    Say "LoadFiles again", m.LoadFiles(WScript.Arguments(1))
    Say "DownLoad again", m.DownLoad()
End If
Set m = Nothing
Say "released", ""
