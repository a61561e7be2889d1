' The named constants, and the host functions of a host without dialogs.

' ---- MsgBox
Assert.Equal vbOKOnly + vbOKCancel + vbAbortRetryIgnore + vbYesNoCancel + vbYesNo + vbRetryCancel, 15, "button sets 0-5"
Assert.Equal vbCritical & " " & vbQuestion & " " & vbExclamation & " " & vbInformation, "16 32 48 64", "icons"
Assert.Equal vbDefaultButton1 & " " & vbDefaultButton2 & " " & vbDefaultButton3 & " " & vbDefaultButton4, "0 256 512 768", "default buttons"
Assert.Equal vbApplicationModal & " " & vbSystemModal & " " & vbMsgBoxHelpButton, "0 4096 16384", "modality and help"
Assert.Equal vbMsgBoxSetForeground & " " & vbMsgBoxRight & " " & vbMsgBoxRtlReading, "65536 524288 1048576", "window options"
Assert.Equal vbOK & vbCancel & vbAbort & vbRetry & vbIgnore & vbYes & vbNo, "1234567", "answers"

' ---- dates
Assert.Equal vbUseSystemDayOfWeek & vbSunday & vbMonday & vbTuesday & vbWednesday & vbThursday & vbFriday & vbSaturday, "01234567", "days of the week"
Assert.Equal vbUseSystem & vbFirstJan1 & vbFirstFourDays & vbFirstFullWeek, "0123", "first week of the year"
Assert.Equal vbGeneralDate & vbLongDate & vbShortDate & vbLongTime & vbShortTime, "01234", "date formats"

' ---- comparison, tristate, errors
Assert.Equal vbBinaryCompare & vbTextCompare, "01", "compare modes"
Assert.Equal vbTrue & " " & vbFalse & " " & vbUseDefault, "-1 0 -2", "tristate"
Assert.Equal vbObjectError, -2147221504, "vbObjectError"
Assert.Equal vbObjectError + 1, &H80040001, "errors of objects count from vbObjectError"

' ---- colours
Assert.Equal vbBlack, 0, "vbBlack"
Assert.Equal vbRed, RGB(255, 0, 0), "vbRed"
Assert.Equal vbGreen, RGB(0, 255, 0), "vbGreen"
Assert.Equal vbBlue, RGB(0, 0, 255), "vbBlue"
Assert.Equal vbYellow, RGB(255, 255, 0), "vbYellow"
Assert.Equal vbMagenta, RGB(255, 0, 255), "vbMagenta"
Assert.Equal vbCyan, RGB(0, 255, 255), "vbCyan"
Assert.Equal vbWhite, RGB(255, 255, 255), "vbWhite"

' ---- characters
Assert.Equal vbCr, Chr(13), "vbCr"
Assert.Equal vbLf, Chr(10), "vbLf"
Assert.Equal vbCrLf, Chr(13) & Chr(10), "vbCrLf"
Assert.Equal vbNewLine, vbCrLf, "vbNewLine"
Assert.Equal vbNullChar, Chr(0), "vbNullChar"
Assert.Equal vbNullString, "", "vbNullString"
Assert.Equal vbFormFeed, Chr(12), "vbFormFeed"
Assert.Equal vbVerticalTab, Chr(11), "vbVerticalTab"
Assert.Equal vbTab, Chr(9), "vbTab"

' ---- VarType values
Assert.Equal vbEmpty & " " & vbNull & " " & vbInteger & " " & vbLong & " " & vbSingle & " " & vbDouble, "0 1 2 3 4 5", "VarType numbers"
Assert.Equal vbCurrency & " " & vbDate & " " & vbString & " " & vbObject & " " & vbError & " " & vbBoolean, "6 7 8 9 10 11", "VarType others"
Assert.Equal vbVariant & " " & vbDataObject & " " & vbDecimal & " " & vbByte & " " & vbArray, "12 13 14 17 8192", "VarType rest"
Assert.Equal VarType(CCur(1)), vbCurrency, "VarType Currency"
Assert.Equal VarType(Array(1)), vbArray + vbVariant, "VarType of an array"

' ---- conversions
Assert.Equal CCur(1.23456), 1.2346, "CCur keeps four decimals"
Assert.Equal CCur(0.00005), 0, "CCur rounds half to even"
Assert.Equal TypeName(CCur(1)), "Currency", "CCur type"
Assert.Equal CStr(CCur(1234.5)), "1234.5", "CStr of a Currency"
Assert.Equal CCur("922337203685477"), 922337203685477, "a large Currency"
Assert.Equal TypeName(CDate(1)), "Date", "CDate type"
Assert.Equal CStr(CDate("1/5/2024")), "1/5/2024", "CDate of text"
Assert.Equal CStr(CDate(#3:04:05 PM#)), "3:04:05 PM", "CDate of a time"
Assert.Equal CInt(-32768.5), -32768, "CInt at its lower end"
Assert.Equal CLng("  12 "), 12, "CLng of blank-padded text"
Assert.Equal CByte("255"), 255, "CByte of text"
Assert.Equal CSng("1E+38"), CSng(1E+38), "CSng near its limit"
Assert.Equal CDbl("-1.5E+308"), -1.5E+308, "CDbl near its limit"
Assert.Equal CBool("TRUE"), True, "CBool of a word in any case"
Assert.Equal CStr(Empty), "", "CStr(Empty)"
Assert.Check IsNumeric("1e5"), "IsNumeric with an exponent"
Assert.Check IsNumeric("&H10"), "IsNumeric of a hexadecimal"
Assert.Check Not IsNumeric(""), "IsNumeric of nothing"
Assert.Check IsNumeric(Now) = False, "IsNumeric of a Date"

' ---- a host without dialogs
Assert.Equal MsgBox("a message for standard output"), vbOK, "MsgBox answers OK"
Assert.Equal MsgBox("a question", vbYesNo + vbQuestion, "title"), vbOK, "MsgBox with buttons answers OK"
Assert.Equal InputBox("name?", "title", "the default"), "the default", "InputBox takes its default"
Assert.Equal InputBox("name?"), "", "InputBox without a default"
