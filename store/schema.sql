-- The empty local store of a handheld, from which the build makes
-- HR_Template.mdb. Columns stand in the order the INSERT statements rely on,
-- since they give values without column names. Yes/No columns hold 0 or 1;
-- the date column holds an OLE Automation date (days since 30 December 1899,
-- the fraction being the time of day).
CREATE TABLE accountName (
  id INTEGER NOT NULL PRIMARY KEY,  -- account id, from the handheld
  name TEXT NOT NULL DEFAULT ''     -- at most 31 characters
);
CREATE TABLE itemName (
  id INTEGER NOT NULL PRIMARY KEY,  -- item id, unique across accounts
  parent INTEGER NOT NULL,          -- id of the item's account
  name TEXT NOT NULL DEFAULT ''     -- at most 31 characters
);
CREATE TABLE hlgroup (
  id INTEGER NOT NULL PRIMARY KEY,       -- record id, from the handheld
  grpdate INTEGER NOT NULL,              -- year * 65536 + month * 256 + day
  acct INTEGER NOT NULL,                 -- account id
  item INTEGER NOT NULL,                 -- item id
  notes TEXT NOT NULL DEFAULT '',        -- at most 255 characters
  invoiced YESNO NOT NULL DEFAULT 0,     -- put on an invoice
  invoicedate DATETIME NOT NULL DEFAULT 2.0,  -- OLE date; 2.0 is 1 January 1900
  deleted YESNO NOT NULL DEFAULT 0       -- removed from the handheld after invoicing
);
CREATE TABLE hltime (
  parent INTEGER NOT NULL,     -- record id
  starttime INTEGER NOT NULL,  -- seconds after midnight
  duration INTEGER NOT NULL    -- minutes
);
-- Each synchronization deletes the spans of every open record by parent.
CREATE INDEX hltime_parent ON hltime (parent);
