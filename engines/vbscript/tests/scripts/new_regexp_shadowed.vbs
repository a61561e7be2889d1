' A script class named RegExp takes the place of the built-in one.
Class RegExp
    Public Pattern
    Private Sub Class_Initialize()
        Pattern = "mine"
    End Sub
    Public Function Test(text)
        Test = (text = Pattern)
    End Function
End Class

Dim re
Set re = New RegExp
Assert.Equal TypeName(re), "RegExp", "the script's class"
Assert.Equal re.Pattern, "mine", "its Class_Initialize ran"
Assert.Equal re.Test("mine"), True, "its own Test"
