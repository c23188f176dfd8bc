// cscript: automation of the host from a script, as other programs do it.
var app = new ActiveXObject(WScript.Arguments(0));
WScript.Echo("script Name=" + app.Name + " Version=" + app.Version);
var books = app.Workbooks;
var book = books.Open(WScript.Arguments(1));
WScript.Echo("script opened " + book.Name + " count=" + books.Count);
app.Quit();
