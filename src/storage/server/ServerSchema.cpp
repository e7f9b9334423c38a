#include "storage/server/ServerSchema.h"

namespace invarro::storage::server {

// A fileblock is one row of invarro.fileblock (its header counters) with one row per key in
// invarro.fileblock_key (its definition and entry count). Every slot 1..high is a row of
// invarro.record, deleted ones included, so that record numbers and the deleted-record chain
// behave as in the files. Key entries are rows of invarro.key_entry under the primary-key
// B-tree (fileblock, key number, key bytes, record number): exact, at-or-after, next and
// previous reads are index scans. bytea compares as unsigned bytes with the shorter string
// first, which is the order of the files' indexes. A partial unique index keeps the keys of
// indexes without duplicates unique across every client.
const char* const kSchemaSql = R"SQL(
CREATE SCHEMA IF NOT EXISTS invarro;

CREATE TABLE IF NOT EXISTS invarro.meta (
  name text PRIMARY KEY,
  value text NOT NULL);

CREATE TABLE IF NOT EXISTS invarro.fileblock (
  id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  name text NOT NULL UNIQUE,
  record_length integer NOT NULL CHECK (record_length >= 21),
  num_keys integer NOT NULL CHECK (num_keys BETWEEN 0 AND 100),
  high integer NOT NULL DEFAULT 0,
  chain_head integer NOT NULL DEFAULT -1,
  deleted_count integer NOT NULL DEFAULT 0,
  needs_rebuild boolean NOT NULL DEFAULT false);

CREATE TABLE IF NOT EXISTS invarro.fileblock_key (
  fb integer NOT NULL,
  key_no integer NOT NULL,
  key_length integer NOT NULL CHECK (key_length BETWEEN 1 AND 30),
  duplicates boolean NOT NULL,
  entries integer NOT NULL DEFAULT 0,
  PRIMARY KEY (fb, key_no));

CREATE TABLE IF NOT EXISTS invarro.record (
  fb integer NOT NULL,
  rec_no integer NOT NULL,
  data bytea NOT NULL,
  live boolean GENERATED ALWAYS AS (substring(data FROM 1 FOR 4) = '\x00000000'::bytea) STORED,
  PRIMARY KEY (fb, rec_no));

CREATE TABLE IF NOT EXISTS invarro.key_entry (
  fb integer NOT NULL,
  key_no integer NOT NULL,
  key bytea NOT NULL,
  rec_no integer NOT NULL,
  is_unique boolean NOT NULL,
  PRIMARY KEY (fb, key_no, key, rec_no));

CREATE UNIQUE INDEX IF NOT EXISTS key_entry_unique
  ON invarro.key_entry (fb, key_no, key) WHERE is_unique;

INSERT INTO invarro.meta (name, value) VALUES ('schema', '1') ON CONFLICT DO NOTHING;

-- The first four bytes of a slot as a little-endian int32, and back.
CREATE OR REPLACE FUNCTION invarro.le32(b bytea) RETURNS integer
LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT get_byte(b, 0) | (get_byte(b, 1) << 8) | (get_byte(b, 2) << 16) | (get_byte(b, 3) << 24)
$$;

CREATE OR REPLACE FUNCTION invarro.le32_bytes(v integer) RETURNS bytea
LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT set_byte(set_byte(set_byte(set_byte('\x00000000'::bytea,
    0, v & 255), 1, (v >> 8) & 255), 2, (v >> 16) & 255), 3, (v >> 24) & 255)
$$;

-- Every program that has a fileblock open holds a shared advisory lock (7304192, its id) for
-- its session; replacing or removing the fileblock takes the lock exclusively for the
-- transaction, so a fileblock open elsewhere is neither replaced nor removed (-10140), as
-- the files refuse it.

-- A new fileblock replacing any of the same name: key lengths and duplicate flags come one
-- byte per key. Returns its id, or minus the engine error.
CREATE OR REPLACE FUNCTION invarro.create_fileblock(p_name text, p_length integer,
                                                    p_lengths bytea, p_dups bytea)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
  v_id integer;
BEGIN
  IF invarro.drop_fileblock(p_name) < 0 THEN
    RETURN -10140;
  END IF;
  INSERT INTO invarro.fileblock (name, record_length, num_keys)
    VALUES (p_name, p_length, length(p_lengths)) RETURNING id INTO v_id;
  INSERT INTO invarro.fileblock_key (fb, key_no, key_length, duplicates)
    SELECT v_id, i + 1, get_byte(p_lengths, i), get_byte(p_dups, i) <> 0
    FROM generate_series(0, length(p_lengths) - 1) AS i;
  RETURN v_id;
END $$;

-- Removes a fileblock: 1, 0 when there is none, -10140 when it is open elsewhere.
CREATE OR REPLACE FUNCTION invarro.drop_fileblock(p_name text) RETURNS integer
LANGUAGE plpgsql AS $$
DECLARE
  v_id integer;
BEGIN
  SELECT id INTO v_id FROM invarro.fileblock WHERE name = p_name FOR UPDATE;
  IF v_id IS NULL THEN
    RETURN 0;
  END IF;
  IF NOT pg_try_advisory_xact_lock(7304192, v_id) THEN
    RETURN -10140;
  END IF;
  DELETE FROM invarro.fileblock WHERE id = v_id;
  DELETE FROM invarro.fileblock_key WHERE fb = v_id;
  DELETE FROM invarro.record WHERE fb = v_id;
  DELETE FROM invarro.key_entry WHERE fb = v_id;
  RETURN 1;
END $$;

-- Adds a record: the head of the deleted-record chain is reused, else the file grows.
-- Returns the record number, or minus the engine error.
CREATE OR REPLACE FUNCTION invarro.add_record(p_fb integer, p_data bytea)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
  v_high integer;
  v_head integer;
  v_next integer;
BEGIN
  SELECT high, chain_head INTO v_high, v_head FROM invarro.fileblock WHERE id = p_fb FOR UPDATE;
  IF NOT FOUND THEN
    RETURN -10445;
  END IF;
  IF v_head = -1 THEN
    UPDATE invarro.fileblock SET high = v_high + 1 WHERE id = p_fb;
    INSERT INTO invarro.record (fb, rec_no, data) VALUES (p_fb, v_high + 1, p_data);
    RETURN v_high + 1;
  END IF;
  IF v_head <= 0 OR v_head > v_high THEN
    RETURN -10170;
  END IF;
  SELECT invarro.le32(data) INTO v_next FROM invarro.record
    WHERE fb = p_fb AND rec_no = v_head FOR UPDATE;
  IF v_next IS NULL OR v_next = 0 OR v_next > v_high OR v_next < -1 THEN
    RETURN -10170;
  END IF;
  UPDATE invarro.fileblock SET chain_head = v_next, deleted_count = deleted_count - 1
    WHERE id = p_fb;
  UPDATE invarro.record SET data = p_data WHERE fb = p_fb AND rec_no = v_head;
  RETURN v_head;
END $$;

-- Puts record p_n on the deleted-record chain; with p_live only a live record.
-- Returns 0, or minus the engine error.
CREATE OR REPLACE FUNCTION invarro.delete_record(p_fb integer, p_n integer, p_live boolean)
RETURNS integer LANGUAGE plpgsql AS $$
DECLARE
  v_high integer;
  v_head integer;
  v_data bytea;
BEGIN
  SELECT high, chain_head INTO v_high, v_head FROM invarro.fileblock WHERE id = p_fb FOR UPDATE;
  IF NOT FOUND THEN
    RETURN -10445;
  END IF;
  IF p_n < 1 OR p_n > v_high THEN
    RETURN -10135;
  END IF;
  SELECT data INTO v_data FROM invarro.record WHERE fb = p_fb AND rec_no = p_n FOR UPDATE;
  IF v_data IS NULL OR (p_live AND invarro.le32(v_data) <> 0) THEN
    RETURN -10135;
  END IF;
  UPDATE invarro.record SET data = overlay(v_data PLACING invarro.le32_bytes(v_head) FROM 1 FOR 4)
    WHERE fb = p_fb AND rec_no = p_n;
  UPDATE invarro.fileblock SET chain_head = p_n, deleted_count = deleted_count + 1
    WHERE id = p_fb;
  RETURN 0;
END $$;
)SQL";

}  // namespace invarro::storage::server
