// Scripts the 32-bit presence control from the 32-bit cscript, as a web page would: stock
// properties set and read back (numbers, a Korean caption, booleans). This file is in code page
// 949, which is how cscript reads it under the Korean locale. Exit code: the failed checks.
var fails = 0;
function check(what, got, want) {
    if (got !== want) {
        WScript.Echo("FAIL: " + what + " = " + got + ", expected " + want);
        fails++;
    }
}
var pane = new ActiveXObject("KestrovaSE.SimTaskPane");
pane.BackColor = 0x123456;
pane.ForeColor = 0xFF;
pane.BorderWidth = 7;
pane.DrawMode = 13;
pane.Appearance = 1;
pane.MousePointer = 11;
check("BackColor", pane.BackColor, 0x123456);
check("ForeColor", pane.ForeColor, 0xFF);
check("BorderWidth", pane.BorderWidth, 7);
check("DrawMode", pane.DrawMode, 13);
check("Appearance", pane.Appearance, 1);
check("MousePointer", pane.MousePointer, 11);
check("Enabled at first", pane.Enabled, true);
pane.Enabled = false;
check("Enabled", pane.Enabled, false);
pane.TabStop = true;
check("TabStop", pane.TabStop, true);
pane.Caption = "한글 캡션";
check("Caption", pane.Caption, "한글 캡션");
check("Caption length", pane.Caption.length, 5);
check("Caption first character", pane.Caption.charCodeAt(0), 0xD55C);
pane.Text = "서식";
check("Text", pane.Text, "서식");
check("HWND without a window", pane.HWND, 0);
var refused = false;
try { pane.put_SearchText("x", null); } catch (e) { refused = true; }
check("no method of the 64-bit control", refused, true);
var scripted = true;
try { new ActiveXObject("Tarnwick.Connect").OnConnection(null, 0, null, null); } catch (e) { scripted = false; }
check("Tarnwick.Connect cannot be scripted", scripted, false);
WScript.Echo(fails == 0 ? "script: all checks passed" : "script: " + fails + " failed");
WScript.Quit(fails);
