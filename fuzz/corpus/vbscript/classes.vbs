Option Explicit
Class Counter
    Private m_count
    Private Sub Class_Initialize()
        m_count = 0
    End Sub
    Public Property Get Count()
        Count = m_count
    End Property
    Public Default Function Add(ByVal n)
        m_count = m_count + n
        Set Add = Me
    End Function
End Class
Dim c : Set c = New Counter
c.Add(2).Add 3
If c.Count <> 5 Then Err.Raise 5
Function Total()
    Total = c.Count * 2
End Function
