' Lists the configurations of the radio on a serial port through the KX6000 Download Component, as a service
' tool's script does: create the object, choose the model and the port, report, and on a failure ask the
' component for its number and message.
'
' Usage: cscript //nologo report.vbs [port [model]]      e.g.  cscript //nologo report.vbs 1 6200
' Exit status: 0 listed, 1 the component reported an error, 2 the component is not installed.
Option Explicit
Dim port, model, manager, result, list, number, description, fields, i

port = "1"
model = 6100
If WScript.Arguments.Count > 0 Then port = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then model = CLng(WScript.Arguments(1))

On Error Resume Next
Set manager = CreateObject("KX6000Download.clsDLManager")
If Err.Number <> 0 Then
    WScript.Echo "The KX6000 Download Component is not installed: " & Err.Description
    WScript.Quit 2
End If
On Error GoTo 0

manager.RadioType = model
' False: no window. The list then comes back in the variable given to ReportConfigurations.
result = manager.SetPort(port, False)
If result = 0 Then result = manager.ReportConfigurations(list)
If result <> 0 Then
    ' Both are variables: the component writes the number and the message into them.
    manager.GetLastError number, description
    WScript.Echo "Error " & number & " - " & description
    Set manager = Nothing
    WScript.Quit 1
End If
' Released before the script ends: the object's server process ends with it.
Set manager = Nothing

' "ProductID|Status|" for each configuration; status 0 is OK. A status goes up to 65535: CLng, since CInt
' stops the script at the first one above 32767.
fields = Split(list, "|")
For i = 0 To UBound(fields) - 1 Step 2
    WScript.Echo ProductID(fields(i)) & vbTab & StatusText(CLng(fields(i + 1)))
Next
WScript.Quit 0

' A product ID as the list writes it: a "|" in it as "%7C" and a "%" as "%25", so the list splits on "|".
Function ProductID(listed)
    ProductID = Replace(Replace(listed, "%7C", "|"), "%25", "%")
End Function

Function StatusText(status)
    Select Case status
        Case 0: StatusText = "OK"
        Case 1: StatusText = "No code segments"
        Case 2: StatusText = "Checksum invalid"
        Case Else: StatusText = "Status " & status
    End Select
End Function
