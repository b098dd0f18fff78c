// Which page follows, from the page that ended and its result.
#pragma once

// 1 Next moves on (past the closing page the sequence ends: -1); 2 Cancel or
// finish leads to the closing page, and there ends the sequence; 1007 Back
// moves back, except from the first page; any other result shows the same
// page again.
int NextPageIndex(int index, int result);
