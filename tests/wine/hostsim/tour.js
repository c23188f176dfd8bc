// cscript: each of the three hosts in turn, as an automation script drives them. Only ASCII is
// echoed (Korean text escaped): the script host's output must not depend on its encoding.
var dir = WScript.Arguments(0);
var hosts = [
  ["Word.Application", "Documents", "보고서 초안.doc"],
  ["Excel.Application", "Workbooks", "예산 계획.xls"],
  ["PowerPoint.Application", "Presentations", "발표 자료.ppt"]
];
var collections = ["Documents", "Workbooks", "Presentations"];

// A name the object does not know reads as undefined here (or throws, as some engines do).
function has(o, name) {
  try {
    return typeof o[name] == "object";
  } catch (e) {
    return false;
  }
}
function say(text) { WScript.Echo("script " + text); }

for (var i = 0; i < hosts.length; i++) {
  var app = new ActiveXObject(hosts[i][0]);
  var name = app.Name;
  app.Visible = true;
  var doc = app[hosts[i][1]].Open(dir + "\\" + hosts[i][2]);
  say(name + " opened=" + escape(doc.Name));
  say(name + " ActiveWindow.Caption=" + escape(app.ActiveWindow.Caption));
  say(name + " Caption=" + escape(app.Caption));
  if (name == "PowerPoint") say(name + " HWND=" + (app.HWND != 0 ? "set" : "0"));
  var present = "";
  for (var j = 0; j < collections.length; j++)
    present += " " + collections[j] + "=" + (has(app, collections[j]) ? "yes" : "no");
  say(name + present);
  app.Quit();
  say(name + " quit");
}
say("done");
