#pragma once

// What the dialog's OK button does. Runs on the UI thread, start to end,
// within the click.
void cmdOk_Click();
