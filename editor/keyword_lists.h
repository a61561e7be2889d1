// The keyword lists of the two script languages, each a comma-separated list
// with one colour. A word is taken exactly as it stands between commas:
// spaces inside belong to it (the VBScript word " NOTHING" starts with one).
// The VBScript words are upper case since VBScript text is upper-cased before
// it is scanned.
#pragma once

#include "runtime/control.h"

namespace lexora {

// Colours (0x00BBGGRR).
constexpr COLORREF KeywordColor = 0xFF0000;    // reserved words and statements: blue
constexpr COLORREF FunctionColor = 100;        // methods and functions: dark red
constexpr COLORREF ObjectColor = 0x6400C8;     // JScript objects: purple
constexpr COLORREF CommentColor = 0x00AA00;    // green
constexpr COLORREF StringColor = 0xC80037;     // violet blue

inline constexpr const char* JScriptReservedWords =
    "break,break,delete,function,return,typeof,case,do,if,switch,var,catch,else,in,this,void,continue,false,"
    "instanceof,throw,while,debugger,finally,new,true,with,default,for,null,try,in,instanceof,typeof";

inline constexpr const char* JScriptMethods =
    "Math.abs,Math.acos,apply,Math.asin,Math.atan,Math.atan2,atEnd(),call,Math.ceil,charAt,charCodeAt,compile,"
    "concat,concat,Math.cos,dimensions,escape,eval,Math.exp,Math.floor,fromCharCode,getDate(),getDay(),"
    "getFullYear(),getHours(),getItem,getMilliseconds,getMinutes,getMonth,getSeconds,getTime,getVarDate,getYear,"
    "indexOf,isFinite,isNaN,item,join,lastIndexOf,lbound,VBArray,Math.log,match,Math.max,Math.min,moveFirst,"
    "moveNext,parse,parseFloat,parseInt,pop,Math.pow,push,Math.random,replace,reverse,Math.round,search,setDate,"
    "shift,Math.sin,slice,sort,split,Math.sqrt,substr,substring,Math.tan,test,toArray,toDateString,"
    "toExponential,toFixed,toGMTString,toLocaleDateString,tolocaleLowerCase,toLocaleString,toLocaleTimeString,"
    "tolocaleUpperCase,toLowerCase,toPrecision,toString,toTimeString,toUpperCase,toUTCString,ubound,"
    "unescapeunshift,UTC,valueOf";

inline constexpr const char* JScriptObjects =
    "ActiveXObject,Array,arguments,Boolean,Date,Enumerator,Error,Function,Math,Number,Object,RegExp,String,VBArray";

inline constexpr const char* VBScriptKeywords =
    "END,EMPTY,FALSE, NOTHING,NULL,TRUE,CALL,CLASS,CONST,DIM,DO,LOOP,ERASE,EXECUTE,EXECUTEGLOBAL,EXIT,FOR EACH,"
    "FOR,NEXT,FUNCTION,IF,THEN,ELSE,ON ERROR,OPTION EXPLICIT,PRIVATE,PROPERTY GET,PROPERTY LET,PROPERTY SET,"
    "PUBLIC,RANDOMIZE,REDIM,REM,SELECT CASE,SET,SUB,WHILE,WEND,WITH";

inline constexpr const char* VBScriptFunctions =
    "ASC,ARRAY,CBOOL,CBYTE,CCUR,CDATE,CDBL,CHR,CINT,CLNG,CSNG,CSTR,HEX,ABS,ATN,COS,EXP,FIX,INT,LOG,RND,SGN,SIN,"
    "SQR,TAN,CREATEOBJECT,DATE,DATEADD,DATEDIFF,DATEPART,DATESERIAL,DATEVALUE,EVAL,FILTER,FORMATCURRENCY,"
    "FORMATDATETIME,FORMATNUMBER,FORMATPERCENT,GETLOCALE,GETOBJECT,GETREF,HOUR,INSTR,INSTRREV,ISARRAY,ISDATE,"
    "ISEMPTY,ISNULL,ISNUMERIC,ISOBJECT,JOIN,LBOUND,LCASE,LEFT,LEN,LOADPICTURE,LTRIM,RTRIM,TRIM,MID,MINUTE,MONTH,"
    "MONTHNAME,NOW,REPLACE,RGB,RIGHT,RND,ROUND,SCRIPTENGINE,SCRIPTENGINEBUILDVERSION,SCRIPTENGINEMAJORVERSION,"
    "SCRIPTENGINEMINORVERSION,SECOND,SETLOCALE,SPACE,SPLIT,STRCOMP,STRING,STRREVERSE,TIME,TIMER,TIMESERIAL,"
    "TIMEVALUE,TYPENAME,UBOUND,UCASE,VARTYPE,WEEKDAY,WEEKDAYNAME,YEAR";

}  // namespace lexora
